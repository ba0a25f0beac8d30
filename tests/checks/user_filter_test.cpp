// The "UserFilter" layout, read and extended as bytes.

#include "checks/user_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes FromHex(std::string_view hex) {
  if (hex.size() % 2 != 0) ADD_FAILURE() << "odd digits: " << hex;
  Bytes bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(
        static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return bytes;
}

constexpr UserFilterStamp kStamp = {0x12, 0x34, 0x56, 0x78, 0x9A};

std::uint32_t U32At(const Bytes& value, std::size_t offset) {
  return value[offset] | (value[offset + 1] << 8U) | (value[offset + 2] << 16U) |
         (static_cast<std::uint32_t>(value[offset + 3]) << 24U);
}

TEST(UserFilter, RecordsWrittenByTheLayout) {
  Bytes value = NewUserFilter();
  EXPECT_EQ(value, FromHex("411f0000"
                           "5308adba"
                           "00000000"
                           "00000000"
                           "01000000"
                           "00000000"));
  ASSERT_TRUE(AppendUserFilterRecord(value, "ab.cn", kStamp));
  EXPECT_EQ(value, FromHex("411f00005308adba"
                           "01000000"  // count
                           "28000000"  // 40 bytes from offset 12
                           "01000000"
                           "01000000"  // count
                           "0c000000"
                           "123456789a"
                           "84cd01"
                           "01000000"
                           "0500"
                           "610062002e0063006e00"));
  ASSERT_TRUE(AppendUserFilterRecord(value, "x.org", {0, 0, 0, 0, 1}));
  EXPECT_EQ(value, FromHex("411f00005308adba"
                           "02000000"
                           "44000000"  // 68
                           "01000000"
                           "02000000"
                           "0c000000"
                           "123456789a"
                           "84cd01"
                           "01000000"
                           "0500"
                           "610062002e0063006e00"
                           "0c000000"
                           "0000000001"
                           "84cd01"
                           "01000000"
                           "0500"
                           "78002e006f0072006700"));
  EXPECT_TRUE(UserFilterHasDomain(value, "ab.cn"));
  EXPECT_TRUE(UserFilterHasDomain(value, "x.org"));
}

TEST(UserFilter, HeaderFieldsAreWhole32BitNumbers) {
  Bytes value = NewUserFilter();
  value[16] = 0x02;  // not ours to change
  for (int i = 0; i < 300; ++i) {
    ASSERT_TRUE(AppendUserFilterRecord(value, "d" + std::to_string(i) + ".cn", kStamp));
  }
  EXPECT_EQ(U32At(value, 8), 300U);
  EXPECT_EQ(U32At(value, 20), 300U);
  EXPECT_EQ(U32At(value, 12), value.size() - 12);
  EXPECT_EQ(value[16], 0x02);
  EXPECT_TRUE(IsUsableUserFilter(value));
  for (int i = 0; i < 300; ++i) {
    EXPECT_TRUE(UserFilterHasDomain(value, "d" + std::to_string(i) + ".cn")) << i;
  }

  // A name over 255 bytes keeps its whole length in the record and is found again.
  const std::string longName(300, 'q');
  ASSERT_TRUE(AppendUserFilterRecord(value, longName, kStamp));
  EXPECT_EQ(value[value.size() - 600 - 2], 0x2C);
  EXPECT_EQ(value[value.size() - 600 - 1], 0x01);
  EXPECT_TRUE(UserFilterHasDomain(value, longName));
  EXPECT_FALSE(UserFilterHasDomain(value, std::string(44, 'q')));  // 300 & 0xFF
}

TEST(UserFilter, UnusableListsAndNamesAreLeftAlone) {
  Bytes value = NewUserFilter();
  ASSERT_TRUE(AppendUserFilterRecord(value, "a.cn", kStamp));
  const Bytes good = value;

  Bytes cut(good.begin(), good.begin() + 23);
  Bytes wrongSize = good;
  ++wrongSize[12];
  Bytes emptyHeaderWithSize12 = NewUserFilter();
  emptyHeaderWithSize12[12] = 12;
  Bytes recordsButSize0 = good;
  recordsButSize0[12] = 0;
  struct Case {
    const char* what;
    Bytes value;
    bool usable;
  };
  const Case cases[] = {
      {"new", NewUserFilter(), true},
      {"with a record", good, true},
      {"header alone, size 12", emptyHeaderWithSize12, true},
      {"shorter than the header", cut, false},
      {"empty", {}, false},
      {"size field off by one", wrongSize, false},
      {"records behind a size of 0", recordsButSize0, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsUsableUserFilter(c.value), c.usable) << c.what;
    Bytes changed = c.value;
    EXPECT_EQ(AppendUserFilterRecord(changed, "b.cn", kStamp), c.usable) << c.what;
    if (!c.usable) {
      EXPECT_EQ(changed, c.value) << c.what;
      EXPECT_FALSE(UserFilterHasDomain(c.value, "a.cn")) << c.what;
    }
  }

  const Bytes before = value;
  EXPECT_FALSE(AppendUserFilterRecord(value, std::string(65536, 'x'), kStamp));
  EXPECT_EQ(value, before);
}

TEST(UserFilter, DomainsMatchWholeRecordsAtByteBoundaries) {
  // Bytes whose hexadecimal text holds the record of "a" (01 00 61 00) one digit off a byte
  // boundary: A0 10 06 10 0B is "A01006100B".
  Bytes shifted = NewUserFilter();
  shifted.insert(shifted.end(), {0xA0, 0x10, 0x06, 0x10, 0x0B});
  shifted[12] = static_cast<std::uint8_t>(shifted.size() - 12);
  ASSERT_TRUE(IsUsableUserFilter(shifted));
  EXPECT_FALSE(UserFilterHasDomain(shifted, "a"));

  Bytes list = NewUserFilter();
  for (const char* domain : {"xab", "ab.cn", "Bank.CN"}) {
    ASSERT_TRUE(AppendUserFilterRecord(list, domain, kStamp));
  }
  struct Case {
    const char* domain;
    bool found;
  };
  const Case cases[] = {
      {"xab", true},      {"ab.cn", true},
      {"Bank.CN", true},  {"ab", false},  // the end of "xab", the start of "ab.cn"
      {"bank.cn", false},                 // bytes, so case counts
  };
  for (const Case& c : cases) EXPECT_EQ(UserFilterHasDomain(list, c.domain), c.found) << c.domain;
}

TEST(UserFilter, TimeStampDigitsArePaddedOnTheRight) {
  struct Case {
    std::uint64_t v;
    UserFilterStamp stamp;
  };
  const Case cases[] = {
      {0, {0x00, 0x00, 0x00, 0x00, 0x00}},
      {0xA, {0xA0, 0x00, 0x00, 0x00, 0x00}},
      {0x1234, {0x12, 0x34, 0x00, 0x00, 0x00}},
      {0x123456789, {0x12, 0x34, 0x56, 0x78, 0x90}},
      {999999999999, {0xE8, 0xD4, 0xA5, 0x0F, 0xFF}},  // the largest twelve-digit number
  };
  for (const Case& c : cases) EXPECT_EQ(UserFilterStampOf(c.v), c.stamp) << c.v;
  EXPECT_EQ(UserFilterStampAt(1700000000), UserFilterStampAt(1700000000));
}

}  // namespace
}  // namespace corvane
