#pragma once

// The network service the conformance tests download with, pointed at a local bank server:
// natively an emulated PC whose network.ini maps the bank's hosts to the server (https with
// the server's test CA); under Wine the real WinINet, over plain http on 127.0.0.1 (no
// OpenSSL for the Windows builds, so no TLS server there).

#include <memory>
#include <string>
#include <string_view>

#include "bank_server.h"
#include "platform/network.h"

namespace corvane {

class NetworkUnderTest {
 public:
  virtual ~NetworkUnderTest() = default;
  virtual Network& network() = 0;
  // The server's URL for `path` ("/x"): the bank's e-banking host over https where TLS is
  // tested, http://127.0.0.1:<port> otherwise.
  virtual std::string Url(std::string_view path) = 0;
  // Whether the URLs are https through the machine's network settings (the emulated PC).
  [[nodiscard]] virtual bool tls() const = 0;
};

std::unique_ptr<NetworkUnderTest> MakeNetworkUnderTest(const testing::BankServer& server,
                                                       const testing::NetworkIniOptions& options);

}  // namespace corvane
