#pragma once

// Numbers in configuration text as C's atoi reads them, without atoi's undefined behaviour.

#include <cstdint>
#include <string_view>

namespace corvane {

// The leading decimal number of `text` as atoi reads it: leading white space, an optional
// sign, digits; anything after them ignored; 0 without digits. Out-of-range values saturate
// at the 32-bit limits instead of being undefined.
std::int32_t AtoiValue(std::string_view text);

}  // namespace corvane
