#include "platform/emulated/registrable_file.h"

namespace corvane::emulated {
namespace {

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsBracedGuid(std::string_view text) {
  static constexpr std::string_view kShape = "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
  if (text.size() != kShape.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (kShape[i] == 'x' ? !IsHex(text[i]) : text[i] != kShape[i]) return false;
  }
  return true;
}

}  // namespace

std::optional<std::vector<std::string>> ParseRegistrableFile(std::string_view text) {
  std::vector<std::string> classes;
  bool first = true;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (first) {
      if (line != "corvane-registrable 1") return std::nullopt;
      first = false;
      continue;
    }
    if (line.empty() || line.starts_with('#')) continue;
    constexpr std::string_view kClass = "class ";
    if (!line.starts_with(kClass) || !IsBracedGuid(line.substr(kClass.size()))) {
      return std::nullopt;
    }
    classes.emplace_back(line.substr(kClass.size()));
  }
  if (classes.empty()) return std::nullopt;
  return classes;
}

}  // namespace corvane::emulated
