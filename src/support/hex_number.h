#pragma once

// Hexadecimal numbers in machine and registry text (USB ids, .reg numbers and bytes).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace corvane {

// `text` as a hexadecimal number of 1 to `maxDigits` digits (0-9, a-f, A-F) and nothing
// else: no sign, no "0x", no white space; nullopt otherwise. Leading zeros count as digits.
// A `maxDigits` above 8 counts as 8, so the value always fits.
std::optional<std::uint32_t> ParseHexNumber(std::string_view text, std::size_t maxDigits);

}  // namespace corvane
