// Items 1 and 8 on whatever system the tests run on: the emulated PC's default Windows 7, or
// the real one (Wine's under Wine).

#include "checks/system_description.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "checks_test_machine.h"
#include "platform/platform.h"
#include "platform/system_info.h"
#include "platform/win_errors.h"

namespace corvane {
namespace {

TEST(SystemDescription, DescribesTheRunningWindows) {
  const ChecksTestMachine machine;
  const std::optional<OsVersionInfo> version = CurrentPlatform().systemInfo().VersionEx();
  ASSERT_TRUE(version.has_value());
  const std::string text = DescribeWindowsVersion();
  EXPECT_TRUE(text.starts_with("Microsoft Windows ")) << text;
  EXPECT_NE(text.find(" (build " + std::to_string(version->buildNumber) + ")"), std::string::npos)
      << text;
  EXPECT_EQ(text.find("Service Pack "), std::string::npos) << text;
  if (ChecksTestMachine::IsEmulated()) {
    EXPECT_EQ(text, "Microsoft Windows 7 旗舰版 SP1 (build 7601) 64位");
  }
}

TEST(SystemDescription, BrowserVersionComesFromTheMachineHive) {
  const ChecksTestMachine machine;
  RegistryKey key;
  std::string stored;
  if (CurrentPlatform().registry().OpenKey(RegistryRoot::kLocalMachine,
                                           "SOFTWARE\\Microsoft\\Internet Explorer", win::kKeyRead,
                                           key) != win::kErrorSuccess ||
      key.ReadString("Version", stored) != win::kErrorSuccess) {
    stored = "0";
  }
  EXPECT_EQ(ReadIeVersion(), stored);
  if (ChecksTestMachine::IsEmulated()) {
    EXPECT_EQ(ReadIeVersion(), "8.0.7601.17514");
  }
}

}  // namespace
}  // namespace corvane
