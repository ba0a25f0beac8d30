#include "support/hex_number.h"

#include <algorithm>

namespace corvane {

std::optional<std::uint32_t> ParseHexNumber(std::string_view text, std::size_t maxDigits) {
  if (text.empty() || text.size() > std::min<std::size_t>(maxDigits, 8)) return std::nullopt;
  std::uint32_t value = 0;
  for (const char c : text) {
    std::uint32_t digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<std::uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<std::uint32_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<std::uint32_t>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    value = (value << 4U) | digit;
  }
  return value;
}

}  // namespace corvane
