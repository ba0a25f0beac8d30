#pragma once

// The emulated PC's network: the host's own network through libcurl, steered by the
// machine's network.ini so that the bank's fixed https URLs can reach a local test server
// with real TLS.
//
// Unless network.ini says `real = yes`, the PC is kept apart from the real network: the
// bank's host names (the e-banking hosts, the update server, the public site) lead to
// 127.0.0.1, as does localhost, other names resolve only through [resolve], nothing is
// looked up with the host's resolver and no proxy is used, so connections end on this PC
// (refused while no local bank server runs). With `real = yes` names that [resolve] does
// not map are looked up by the host's resolver and the environment's proxy settings
// (http_proxy, https_proxy, no_proxy) apply.
//
// network.ini (optional; lines starting with ; or # are comments, so are "; ..." tails):
//
//   [network]
//   real = no                        yes: the real network for names not mapped below
//   [resolve]                        name = address[, address...], like curl --resolve:
//   perbank.marrowby.example = 127.0.0.1     what ResolveHost answers and connections use
//   [connect_to]                     host:port = host:port, like curl --connect-to: the
//   perbank.marrowby.example:443 = 127.0.0.1:40443   connection goes there, TLS still
//                                                    checks the URL's host name
//   [tls]
//   extra_ca = certs/bank-test-ca.pem   a PEM file (relative to the machine folder) trusted
//                                       besides the host's store
//   [timeouts]
//   connect_ms = 60000               giving up on a connection that is not made
//   receive_ms = 30000               giving up on a response that sends nothing this long
//
// The https protocol versions are those the registry's "SecureProtocols" allows, as with
// WinINet (HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings, else the
// same key of HKLM): 0x80 TLS 1.0, 0x200 TLS 1.1, 0x800 TLS 1.2, 0x2000 TLS 1.3, from the
// lowest to the highest allowed. SSL 2.0 (0x08) and 3.0 (0x20) are never offered, so a value
// that allows none of the TLS versions fails every https connection. No value: OpenSSL's own
// choice.
//
// Whether the PC is online comes from machine.ini ([network] online): offline, the
// connection state says so, names do not resolve and no URL opens.
//
// Name lookups go as on Windows: the machine's own hosts file
// (C:\Windows\System32\drivers\etc\hosts) first, then [resolve], then the host's resolver;
// reverse lookups (ResolveAddress) the same way.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/emulated/drive_c.h"
#include "platform/emulated/machine_folder.h"
#include "platform/network.h"
#include "platform/registry.h"

namespace corvane::emulated {

struct NetworkSettings {
  // Lower-case host name -> addresses.
  std::map<std::string, std::vector<std::string>> resolve;
  // (lower-case host, port) -> "host:port" to connect to instead.
  std::vector<std::pair<std::string, std::string>> connectTo;  // "host:port", "host:port"
  std::filesystem::path extraCa;                               // empty: none
  bool real = false;  // names not mapped go to the host's resolver (else: not found)
  long connectMs = 60000;
  long receiveMs = 30000;
};

struct NetworkSettingsLoad {
  NetworkSettings settings;
  std::string error;  // "<file>:<line>: ..." for each bad line; empty when all is well
};

// Reads the text of a network.ini; `fileName` names it in errors, `machineRoot` anchors a
// relative extra_ca.
NetworkSettingsLoad ParseNetworkSettings(std::string_view text, std::string_view fileName,
                                         const std::filesystem::path& machineRoot);

// Reads the machine's network.ini; no file gives the defaults without an error.
NetworkSettingsLoad LoadNetworkSettings(const MachineFolder& machine);

// The bank's host names that a PC kept apart from the real network sends to 127.0.0.1
// (lower case).
std::vector<std::string> BankHostNames();

// Adds those names (and localhost) to settings.resolve where it does not name them, unless
// settings.real.
void ApplyIsolation(NetworkSettings& settings);

class EmulatedNetwork final : public Network {
 public:
  // registry: where "SecureProtocols" is read when a session opens; null: not at all.
  EmulatedNetwork(const MachineFolder& machine, bool online, Registry* registry = nullptr);

  bool ConnectedState(std::uint32_t* flags) override;
  std::unique_ptr<InternetSession> OpenSession(std::string_view userAgent) override;
  HostAddresses ResolveHost(std::string_view name) override;
  HostAddresses ResolveAddress(std::string_view address) override;

  // What network.ini could not say (bad lines, an unreadable CA file); empty when all is
  // well.
  [[nodiscard]] const std::string& loadError() const { return error_; }

 private:
  // The machine's hosts file as it is now; empty when there is none.
  [[nodiscard]] std::string hostsText() const;

  DriveC drive_;
  NetworkSettings settings_;
  std::string caBundle_;  // the host's store and the extra CA (PEM); empty: curl's default
  std::string error_;
  bool online_;
  Registry* registry_;
};

}  // namespace corvane::emulated
