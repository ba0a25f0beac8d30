// The default emulated PC and the Wine prefix both present themselves as Windows 7 SP1 on a
// 64-bit processor; the test holds both to the same record.

#include "platform/system_info.h"

#include <gtest/gtest.h>

#include "system_info_under_test.h"

namespace corvane {
namespace {

TEST(SystemInfoTest, DescribesWindows7Sp1On64Bits) {
  const auto under = MakeSystemInfoUnderTest();
  SystemInfo& info = under->systemInfo();
  const std::optional<OsVersionInfo> version = info.VersionEx();
  ASSERT_TRUE(version.has_value());
  EXPECT_EQ(version->platformId, win::kVerPlatformWin32Nt);
  EXPECT_EQ(version->majorVersion, 6U);
  EXPECT_EQ(version->minorVersion, 1U);
  EXPECT_EQ(version->buildNumber, 7601U);
  EXPECT_EQ(version->servicePack, "Service Pack 1");
  EXPECT_EQ(version->servicePackMajor, 1);
  EXPECT_EQ(version->servicePackMinor, 0);
  EXPECT_EQ(version->productType, win::kVerNtWorkstation);
  EXPECT_EQ(info.NativeProcessorArchitecture(), win::kProcessorArchitectureAmd64);
  EXPECT_EQ(info.ServerR2(), 0);
  // Vista and later have GetProductInfo.
  EXPECT_TRUE(info.ProductInfo(6, 1, 0, 0).has_value());
}

}  // namespace
}  // namespace corvane
