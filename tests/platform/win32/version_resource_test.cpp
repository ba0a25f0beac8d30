// The version resource exists only in Windows builds; self-update compares its file version.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/utf.h"
#include "platform/win32/win32_resources.h"

namespace corvane {
namespace {

TEST(VersionResourceTest, SaysVersion1000AndTheProductName) {
  win32::Win32Resources resources;
  const std::vector<std::uint8_t> data = resources.Load(1, win::kRtVersion);
  ASSERT_FALSE(data.empty());

  // VS_FIXEDFILEINFO: signature, struct version, then file version MS and LS.
  const std::uint8_t signature[] = {0xBD, 0x04, 0xEF, 0xFE};
  const auto fixed =
      std::search(data.begin(), data.end(), std::begin(signature), std::end(signature));
  ASSERT_NE(fixed, data.end());
  ASSERT_GE(data.end() - fixed, 16);
  std::uint32_t fileVersion[2];
  std::memcpy(fileVersion, &*(fixed + 8), sizeof fileVersion);
  EXPECT_EQ(fileVersion[0], 0x00010000U);  // 1.0
  EXPECT_EQ(fileVersion[1], 0x00000000U);  // .0.0

  const std::u16string description = Utf8ToUtf16("Marrowby银行网银助手");
  std::vector<std::uint8_t> needle;
  for (const char16_t unit : description) {
    needle.push_back(static_cast<std::uint8_t>(unit & 0xFFU));
    needle.push_back(static_cast<std::uint8_t>(unit >> 8U));
  }
  EXPECT_NE(std::search(data.begin(), data.end(), needle.begin(), needle.end()), data.end());
}

}  // namespace
}  // namespace corvane
