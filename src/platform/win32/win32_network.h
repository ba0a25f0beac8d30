#pragma once

// The network through WinINet (connection state, downloads) and Winsock (gethostbyname,
// gethostbyaddr). Winsock is started once, with the object.

#include "platform/network.h"

namespace corvane::win32 {

class Win32Network final : public Network {
 public:
  Win32Network();
  Win32Network(const Win32Network&) = delete;
  Win32Network& operator=(const Win32Network&) = delete;
  Win32Network(Win32Network&&) = delete;
  Win32Network& operator=(Win32Network&&) = delete;
  ~Win32Network() override;

  bool ConnectedState(std::uint32_t* flags) override;
  std::unique_ptr<InternetSession> OpenSession(std::string_view userAgent) override;
  HostAddresses ResolveHost(std::string_view name) override;
  HostAddresses ResolveAddress(std::string_view address) override;

 private:
  bool winsock_ = false;  // WSAStartup succeeded and is undone on destruction
};

}  // namespace corvane::win32
