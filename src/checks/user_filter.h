#pragma once

// The "UserFilter" value: Internet Explorer's Compatibility View list, a binary layout of its
// own (all numbers little-endian):
//
//   header, 24 bytes    41 1F 00 00 | 53 08 AD BA | count u32 | size u32 | 01 00 00 00 | count u32
//                       size is the number of bytes from offset 12 to the end of the value
//   record per domain   0C 00 00 00 | 5 time-stamp bytes | 84 CD 01 | 01 00 00 00 |
//                       length u16 | each byte of the domain followed by 00
//
// These functions read and extend it as bytes; checks/compatibility_list.h puts it in the
// registry.

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <span>
#include <string_view>
#include <vector>

namespace corvane {

inline constexpr std::size_t kUserFilterHeaderSize = 24;

using UserFilterStamp = std::array<std::uint8_t, 5>;

// A list without records: the header with count and size 0.
std::vector<std::uint8_t> NewUserFilter();

// Whether `value` is a list these functions can read and extend: at least a header, whose
// size field agrees with the value's length (or is 0 in a list of the header alone, as
// NewUserFilter makes it). Anything else counts as no list at all.
bool IsUsableUserFilter(std::span<const std::uint8_t> value);

// Whether a usable list holds a record of `domain`: its length field and characters appear,
// starting at a byte boundary after the header. Domains compare byte for byte (case counts).
// False for an unusable list.
bool UserFilterHasDomain(std::span<const std::uint8_t> value, std::string_view domain);

// Appends the record of `domain` and updates the header: both counts become the old first
// count plus 1, the size field the new size, every other header byte stays. Returns false and
// leaves `value` as it was when the list is unusable, the domain is longer than a record's
// length field holds (65535 bytes) or the size would not fit its field.
bool AppendUserFilterRecord(std::vector<std::uint8_t>& value, std::string_view domain,
                            const UserFilterStamp& stamp);

// The time-stamp bytes for the number v: v in lower-case hexadecimal without leading zeros,
// padded on the right with zero digits to 10 digits, read as 5 bytes from the left. v is
// below 10^12, which has at most 10 hexadecimal digits; larger numbers keep their low 40 bits.
UserFilterStamp UserFilterStampOf(std::uint64_t v);

// The time stamp of records written in the second `seconds`: twelve pseudo-random decimal
// digits from a generator seeded with that second, so records written within one second get
// the same bytes.
UserFilterStamp UserFilterStampAt(std::time_t seconds);

}  // namespace corvane
