#include "platform/emulated/hosts_lookup.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <functional>

namespace corvane::emulated {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

// The canonical dotted form of an IPv4 address field, or "" when it is not one.
std::string Ipv4(std::string_view field) {
  if (field.empty() || field.size() > 15) return {};
  in_addr address{};
  if (::inet_pton(AF_INET, std::string(field).c_str(), &address) != 1) return {};
  std::array<char, INET_ADDRSTRLEN> text{};
  if (::inet_ntop(AF_INET, &address, text.data(), text.size()) == nullptr) return {};
  return text.data();
}

// Calls visit(address, fields after it) for each mapping line.
void ForEachMapping(std::string_view text,
                    const std::function<void(const std::string&, std::string_view)>& visit) {
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    line = line.substr(0, std::min(line.find('#'), line.size()));
    std::size_t at = 0;
    while (at < line.size() && IsBlank(line[at])) ++at;
    std::size_t fieldEnd = at;
    while (fieldEnd < line.size() && !IsBlank(line[fieldEnd])) ++fieldEnd;
    const std::string address = Ipv4(line.substr(at, fieldEnd - at));
    if (!address.empty()) visit(address, line.substr(fieldEnd));
  }
}

bool NamesContain(std::string_view names, std::string_view name) {
  for (std::size_t at = 0; at < names.size();) {
    while (at < names.size() && IsBlank(names[at])) ++at;
    std::size_t end = at;
    while (end < names.size() && !IsBlank(names[end])) ++end;
    if (end > at && EqualNoCase(names.substr(at, end - at), name)) return true;
    at = end;
  }
  return false;
}

}  // namespace

std::vector<std::string> HostsAddressesOf(std::string_view text, std::string_view name) {
  std::vector<std::string> found;
  if (name.empty()) return found;
  ForEachMapping(text, [&](const std::string& address, std::string_view names) {
    if (NamesContain(names, name) &&
        std::find(found.begin(), found.end(), address) == found.end()) {
      found.push_back(address);
    }
  });
  return found;
}

bool HostsNamesAddress(std::string_view text, std::string_view address) {
  bool found = false;
  ForEachMapping(text, [&](const std::string& mapped, std::string_view names) {
    if (!found && mapped == address) {
      found = names.find_first_not_of(" \t\r\v\f") != std::string_view::npos;
    }
  });
  return found;
}

}  // namespace corvane::emulated
