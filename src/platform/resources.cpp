#include "platform/resources.h"

#include <charconv>
#include <optional>

namespace corvane {
namespace {

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 0x20);
  }
  return out;
}

std::optional<std::uint16_t> Digits(std::string_view text) {
  std::uint16_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

ResourceId::ResourceId(int number) : isNumber_(true), number_(static_cast<std::uint16_t>(number)) {}

ResourceId::ResourceId(std::string_view name) {
  if (name.starts_with('#')) {
    if (const auto number = Digits(name.substr(1))) {
      isNumber_ = true;
      number_ = *number;
      return;
    }
  }
  name_ = UpperAscii(name);
}

bool ResourceId::Matches(std::string_view text) const {
  const auto number = Digits(text);
  if (isNumber_) return number && *number == number_;
  return !number && UpperAscii(text) == name_;
}

}  // namespace corvane
