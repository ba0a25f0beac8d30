#include "checks/user_filter.h"

#include <algorithm>
#include <limits>
#include <random>

namespace corvane {
namespace {

constexpr std::size_t kCountOffset = 8;
constexpr std::size_t kSizeOffset = 12;
constexpr std::size_t kSecondCountOffset = 20;

std::uint32_t ReadU32(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return bytes[offset] | (bytes[offset + 1] << 8U) | (bytes[offset + 2] << 16U) |
         (static_cast<std::uint32_t>(bytes[offset + 3]) << 24U);
}

void WriteU32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t number) {
  for (std::size_t i = 0; i < 4; ++i) {
    bytes[offset + i] = static_cast<std::uint8_t>(number >> (8U * i));
  }
}

// What a record holds from its length field on: the length, then each byte followed by 00.
std::vector<std::uint8_t> DomainPattern(std::string_view domain) {
  std::vector<std::uint8_t> pattern;
  pattern.reserve(2 + 2 * domain.size());
  pattern.push_back(static_cast<std::uint8_t>(domain.size()));
  pattern.push_back(static_cast<std::uint8_t>(domain.size() >> 8U));
  for (const char c : domain) {
    pattern.push_back(static_cast<std::uint8_t>(c));
    pattern.push_back(0);
  }
  return pattern;
}

}  // namespace

std::vector<std::uint8_t> NewUserFilter() {
  return {0x41, 0x1F, 0x00, 0x00, 0x53, 0x08, 0xAD, 0xBA, 0x00, 0x00, 0x00, 0x00,
          0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
}

bool IsUsableUserFilter(std::span<const std::uint8_t> value) {
  if (value.size() < kUserFilterHeaderSize) return false;
  const std::uint32_t size = ReadU32(value, kSizeOffset);
  // A new list, before its first record, has a size of 0.
  return size == value.size() - kSizeOffset || (value.size() == kUserFilterHeaderSize && size == 0);
}

bool UserFilterHasDomain(std::span<const std::uint8_t> value, std::string_view domain) {
  if (!IsUsableUserFilter(value) || domain.size() > 0xFFFF) return false;
  const std::vector<std::uint8_t> pattern = DomainPattern(domain);
  const auto records = value.subspan(kUserFilterHeaderSize);
  return std::search(records.begin(), records.end(), pattern.begin(), pattern.end()) !=
         records.end();
}

bool AppendUserFilterRecord(std::vector<std::uint8_t>& value, std::string_view domain,
                            const UserFilterStamp& stamp) {
  if (!IsUsableUserFilter(value) || domain.size() > 0xFFFF) return false;
  const std::size_t recordSize = 18 + 2 * domain.size();
  if (value.size() - kSizeOffset + recordSize > std::numeric_limits<std::uint32_t>::max()) {
    return false;
  }
  value.reserve(value.size() + recordSize);
  value.insert(value.end(), {0x0C, 0x00, 0x00, 0x00});
  value.insert(value.end(), stamp.begin(), stamp.end());
  value.insert(value.end(), {0x84, 0xCD, 0x01, 0x01, 0x00, 0x00, 0x00});
  const std::vector<std::uint8_t> pattern = DomainPattern(domain);
  value.insert(value.end(), pattern.begin(), pattern.end());

  const std::uint32_t count = ReadU32(value, kCountOffset) + 1;
  WriteU32(value, kCountOffset, count);
  WriteU32(value, kSizeOffset, static_cast<std::uint32_t>(value.size() - kSizeOffset));
  WriteU32(value, kSecondCountOffset, count);
  return true;
}

UserFilterStamp UserFilterStampOf(std::uint64_t v) {
  v &= 0xFF'FFFF'FFFFULL;
  int digits = 1;
  while (digits < 10 && (v >> (4U * static_cast<unsigned>(digits))) != 0) ++digits;
  // Padding on the right with zero digits shifts the number left by whole digits.
  const std::uint64_t padded = v << (4U * static_cast<unsigned>(10 - digits));
  UserFilterStamp stamp{};
  for (std::size_t i = 0; i < stamp.size(); ++i) {
    stamp[i] = static_cast<std::uint8_t>(padded >> (8U * (stamp.size() - 1 - i)));
  }
  return stamp;
}

UserFilterStamp UserFilterStampAt(std::time_t seconds) {
  std::minstd_rand random(static_cast<std::minstd_rand::result_type>(seconds));
  std::uint64_t v = 0;
  std::uint64_t power = 1;
  for (int i = 0; i < 12; ++i, power *= 10) v += (random() % 10) * power;
  return UserFilterStampOf(v);
}

}  // namespace corvane
