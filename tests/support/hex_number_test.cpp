#include "support/hex_number.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace corvane {
namespace {

struct HexCase {
  std::string_view text;
  std::size_t maxDigits;
  std::optional<std::uint32_t> value;
};

TEST(HexNumberTest, ReadsOnlyBareDigitsUpToTheLimit) {
  const std::vector<HexCase> cases = {
      {"0", 4, 0},
      {"aBcD", 4, 0xabcd},
      {"FFFF", 4, 0xffff},
      {"0fFf", 4, 0x0fff},
      {"10000", 4, std::nullopt},  // one digit too many
      {"00001", 4, std::nullopt},  // leading zeros count
      {"", 4, std::nullopt},
      {"ffffffff", 8, 0xffffffff},
      {"12345678", 8, 0x12345678},
      {"100000000", 8, std::nullopt},
      {"100000000", 9, std::nullopt},  // never more than fits in 32 bits
      {"7f", 2, 0x7f},
      {"100", 2, std::nullopt},
      {"0x1", 4, std::nullopt},
      {"+1", 4, std::nullopt},
      {"-1", 4, std::nullopt},
      {" 1", 4, std::nullopt},
      {"1 ", 4, std::nullopt},
      {"g", 4, std::nullopt},
      {"1G", 4, std::nullopt},
      {"@", 4, std::nullopt},  // next to 'A'
      {"`", 4, std::nullopt},  // next to 'a'
      {"/", 4, std::nullopt},  // next to '0'
      {":", 4, std::nullopt},  // next to '9'
      {std::string_view("1\0", 2), 4, std::nullopt},
  };
  for (const HexCase& c : cases) {
    EXPECT_EQ(ParseHexNumber(c.text, c.maxDigits), c.value)
        << "\"" << c.text << "\" with at most " << c.maxDigits << " digits";
  }
}

}  // namespace
}  // namespace corvane
