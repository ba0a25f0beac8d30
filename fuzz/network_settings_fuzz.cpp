// The network.ini parser on arbitrary input: it must never crash, every error must name a
// line of the input, and what it accepts must be what libcurl is later given: addresses in
// dotted IPv4 form, host:port pairs with a port, positive time-outs; and the machine stays
// apart from the real network unless the input says otherwise.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/emulated/emulated_network.h"

namespace {

bool ValidPort(std::string_view hostPort) {
  const std::size_t colon = hostPort.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  const std::string port(hostPort.substr(colon + 1));
  if (port.empty() || port.size() > 5 || !std::all_of(port.begin(), port.end(), ::isdigit)) {
    return false;
  }
  const long value = std::strtol(port.c_str(), nullptr, 10);
  return value >= 1 && value <= 65535;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace corvane::emulated;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const NetworkSettingsLoad load = ParseNetworkSettings(text, "network.ini", "/machine");
  const std::size_t lines =
      static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
  // Each error line starts with the file and a line of the input (values are echoed after it).
  for (std::size_t start = 0; start < load.error.size();) {
    const std::size_t end = std::min(load.error.find('\n', start), load.error.size());
    const std::string_view line = std::string_view(load.error).substr(start, end - start);
    if (!line.starts_with("network.ini:")) std::abort();
    const std::size_t number = std::strtoul(load.error.c_str() + start + 12, nullptr, 10);
    if (number == 0 || number > lines) std::abort();
    start = end + 1;
  }
  const NetworkSettings& s = load.settings;
  if (s.connectMs <= 0 || s.receiveMs <= 0) std::abort();
  for (const auto& [name, addresses] : s.resolve) {
    if (name.empty() || addresses.empty()) std::abort();
    for (const std::string& a : addresses) {
      if (a.find_first_not_of("0123456789.") != std::string::npos) std::abort();
    }
  }
  for (const auto& [from, to] : s.connectTo) {
    if (!ValidPort(from) || !ValidPort(to)) std::abort();
  }
  // Only an explicit "real" line lets the machine out to the real network; otherwise every
  // bank host has addresses, so none is left to the host's resolver.
  if (s.real && text.find("real") == std::string_view::npos) std::abort();
  NetworkSettings isolated = s;
  ApplyIsolation(isolated);
  if (!isolated.real) {
    for (const std::string& host : BankHostNames()) {
      const auto it = isolated.resolve.find(host);
      if (it == isolated.resolve.end() || it->second.empty()) std::abort();
    }
  }
  return 0;
}
