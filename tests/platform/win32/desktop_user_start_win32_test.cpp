// The start as the desktop user on real Windows calls. With a desktop shell the program
// really starts (with the shell's token); without one (a session with no shell, as under
// Wine without a display) nothing starts at all: there is no fall-back to this process's
// own rights, and the failure is reported.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "files_under_test.h"
#include "platform/file_system.h"
#include "platform/processes.h"
#include "platform/win32/win32_util.h"
#include "platform/win_errors.h"
#include "platform/windows_path.h"

namespace corvane {
namespace {

bool AppearsWithin(FileSystem& files, const std::string& path, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!files.exists(path) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return files.exists(path);
}

TEST(DesktopUserStartWin32, StartsWithTheShellOrNotAtAll) {
  const auto services = testing::MakeServicesUnderTest();
  const std::string marker = PathJoin(services->scratch(), "browser-started.txt");
  const std::uint32_t result =
      services->processes().startAsDesktopUser(services->createFileCommand(marker));
  if (::GetShellWindow() != nullptr) {
    ASSERT_EQ(result, 0U);
    EXPECT_TRUE(AppearsWithin(services->files(), marker, std::chrono::seconds(30)));
  } else {
    EXPECT_EQ(result, static_cast<std::uint32_t>(ERROR_NOT_FOUND));
    EXPECT_FALSE(AppearsWithin(services->files(), marker, std::chrono::milliseconds(1000)));
  }
}

TEST(DesktopUserStartWin32, AnEmptyCommandLineIsRefused) {
  const auto services = testing::MakeServicesUnderTest();
  EXPECT_EQ(services->processes().startAsDesktopUser(" "), win::kErrorInvalidParameter);
  EXPECT_EQ(services->processes().startAsDesktopUser(""), win::kErrorInvalidParameter);
}

}  // namespace
}  // namespace corvane
