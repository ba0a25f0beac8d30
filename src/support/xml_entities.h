#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace corvane::xml {

inline constexpr std::size_t kEntityBuckets = 130;

// Bucket strings of the named character references; see scripts/gen_xml_entities.py.
extern const std::array<std::string_view, kEntityBuckets> kEntityBucketText;

// Code point of a named reference ("eacute", "AMP"), 0 when the name is unknown.
// Case is ignored, but a record spelled exactly like the name wins over its twin.
std::uint32_t LookupEntity(std::string_view name);

}  // namespace corvane::xml
