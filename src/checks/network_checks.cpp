#include "checks/network_checks.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>

#include "config/parse_check_config.h"
#include "platform/network.h"
#include "platform/platform.h"

namespace corvane {
namespace {

// The user agent of every download (HttpFetch sends the same).
constexpr std::string_view kUserAgent = "Mozilla/5.0";

bool HasAsciiLetter(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); });
}

// One part of an inet_addr text: decimal, octal after a leading 0, hexadecimal after 0x.
std::optional<std::uint64_t> InetPart(std::string_view part) {
  if (part.empty()) return std::nullopt;
  unsigned base = 10;
  if (part.size() > 1 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) {
    base = 16;
    part.remove_prefix(2);
    if (part.empty()) return std::uint64_t{0};  // "0x" is 0, as inet_addr reads it
  } else if (part.size() > 1 && part[0] == '0') {
    base = 8;
    part.remove_prefix(1);
  }
  std::uint64_t value = 0;
  for (const char c : part) {
    unsigned digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    if (digit >= base) return std::nullopt;
    value = value * base + digit;
    if (value > 0xFFFFFFFFULL) return std::nullopt;
  }
  return value;
}

}  // namespace

bool IsInternetConnected() { return CurrentPlatform().network().ConnectedState(nullptr); }

std::optional<std::string> ParseInetAddress(std::string_view text) {
  std::vector<std::uint64_t> parts;
  for (std::size_t start = 0;;) {
    const std::size_t dot = std::min(text.find('.', start), text.size());
    const auto part = InetPart(text.substr(start, dot - start));
    if (!part || parts.size() == 4) return std::nullopt;
    parts.push_back(*part);
    if (dot == text.size()) break;
    start = dot + 1;
  }
  // The leading parts are one byte each; the last fills the bytes that are left.
  std::uint64_t address = 0;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    if (parts[i] > 0xFF) return std::nullopt;
    address |= parts[i] << (8U * (3 - i));
  }
  const std::size_t lastBits = 8U * (4 - (parts.size() - 1));
  if (lastBits < 32 && parts.back() >= (std::uint64_t{1} << lastBits)) return std::nullopt;
  address |= parts.back();
  if (address == 0xFFFFFFFFULL) return std::nullopt;  // INADDR_NONE
  return std::to_string((address >> 24U) & 0xFFU) + "." + std::to_string((address >> 16U) & 0xFFU) +
         "." + std::to_string((address >> 8U) & 0xFFU) + "." + std::to_string(address & 0xFFU);
}

std::vector<std::string> ResolveHost(std::string_view host) {
  Network& network = CurrentPlatform().network();
  if (HasAsciiLetter(host)) return network.ResolveHost(host).addresses;
  const std::optional<std::string> address = ParseInetAddress(host);
  if (!address) return {};
  return network.ResolveAddress(*address).addresses;
}

bool CheckNameResolution(CheckConfig& config) {
  const ConfigSection* section = FindSection(config, "dns");
  // Name -> allowed addresses; std::map walks the names in ascending byte order.
  std::map<std::string, std::vector<std::string>> allowed;
  if (section != nullptr) {
    for (const ConfigEntry& entry : section->entries) allowed[entry.text].push_back(entry.value);
  }
  for (const auto& [host, addresses] : allowed) {
    const std::vector<std::string> resolved = ResolveHost(host);
    if (resolved.empty()) {
      config.dnsOk = false;
      return false;
    }
    for (const std::string& address : resolved) {
      if (std::find(addresses.begin(), addresses.end(), address) == addresses.end()) {
        config.dnsOk = false;
        return false;
      }
      for (const ConfigEntry& entry : section->entries) {
        if (entry.value == address && !entry.name.empty()) config.dnsLineName = entry.name;
      }
    }
  }
  config.dnsOk = true;
  return true;
}

bool ProbeUrls(const std::vector<std::string>& urls, const std::stop_token& stop) {
  const std::unique_ptr<InternetSession> session =
      CurrentPlatform().network().OpenSession(kUserAgent);
  if (!session) return false;
  // Every request is closed at once: opening proves the service answered.
  return std::all_of(urls.begin(), urls.end(), [&](const std::string& url) {
    return session->OpenUrl(url, win::kInternetFlagReload, nullptr, stop) != nullptr;
  });
}

int ProbeServices(CheckConfig& config, std::stop_token stop) {
  bool ok = true;
  if (const ConfigSection* section = FindSection(config, "service")) {
    std::vector<std::string> urls;
    urls.reserve(section->entries.size());
    for (const ConfigEntry& entry : section->entries) urls.push_back(entry.text);
    ok = ProbeUrls(urls, stop);
  }
  std::atomic_ref<bool>(config.serviceOk).store(ok, std::memory_order_relaxed);
  std::atomic_ref<bool>(config.serviceProbeDone).store(true, std::memory_order_release);
  return ok ? 1 : 0;
}

bool ServiceProbeDone(const CheckConfig& config) {
  // atomic_ref needs a non-const object; the load does not write.
  return std::atomic_ref<bool>(const_cast<bool&>(config.serviceProbeDone))  // NOLINT: load only
      .load(std::memory_order_acquire);
}

}  // namespace corvane
