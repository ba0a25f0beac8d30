#include "platform/processes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "files_under_test.h"
#include "platform/file_system.h"
#include "platform/win_errors.h"
#include "platform/windows_path.h"

namespace corvane {
namespace {

// The program's path in double quotes, as installers' command lines carry it.
std::string Quoted(std::string_view path) {
  std::string quoted = "\"";
  quoted.append(path).push_back('"');
  return quoted;
}

class ProcessesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    services_ = testing::MakeServicesUnderTest();
    scratch_ = services_->scratch();
  }
  Processes& processes() { return services_->processes(); }
  FileSystem& files() { return services_->files(); }

  std::unique_ptr<testing::ServicesUnderTest> services_;
  std::string scratch_;
};

TEST_F(ProcessesTest, WaitingGivesTheExitCode) {
  for (const int code : {0, 3, 42}) {
    const std::string program =
        services_->writeExitProgram(scratch_, "exit" + std::to_string(code), code);
    std::uint32_t exitCode = 0xFFFF;
    ASSERT_EQ(processes().run(Quoted(program), true, &exitCode), 0U) << program;
    EXPECT_EQ(exitCode, static_cast<std::uint32_t>(code)) << program;
  }
}

// What the installer worker does: the verified file stays pinned while it runs, and neither
// the start nor a copy of it is refused for that.
TEST_F(ProcessesTest, PinnedProgramStartsAndCanBeCopied) {
  const std::string program = services_->writeExitProgram(scratch_, "pinned", 5);
  std::unique_ptr<File> pin;
  ASSERT_EQ(files().pin(program, pin), 0U);
  std::uint32_t exitCode = 0;
  ASSERT_EQ(processes().run(Quoted(program), true, &exitCode), 0U);
  EXPECT_EQ(exitCode, 5U);
  EXPECT_EQ(files().copy(program, PathJoin(scratch_, "copy.exe"), true), 0U);
  EXPECT_EQ(files().deleteFile(program), win::kErrorSharingViolation);
  pin.reset();
  EXPECT_EQ(files().deleteFile(program), 0U);
}

TEST_F(ProcessesTest, ProgramInAFolderWithBlanksRunsQuotedOrNot) {
  const std::string folder = PathJoin(scratch_, "Vendor Setup");
  ASSERT_EQ(files().createDirectory(folder), 0U);
  const std::string program = services_->writeExitProgram(folder, "setup", 7);

  std::uint32_t exitCode = 0;
  ASSERT_EQ(processes().run(Quoted(program) + " /sp- /verysilent /norestart", true, &exitCode), 0U);
  EXPECT_EQ(exitCode, 7U);
  // Unquoted, CreateProcess tries "...\Vendor" first, then "...\Vendor Setup\setup...".
  exitCode = 0;
  ASSERT_EQ(processes().run(program + " /verysilent", true, &exitCode), 0U);
  EXPECT_EQ(exitCode, 7U);
}

TEST_F(ProcessesTest, StartsWithoutWaiting) {
  const std::string marker = PathJoin(scratch_, "started.txt");
  ASSERT_EQ(processes().run(services_->createFileCommand(marker), false, nullptr), 0U);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!files().exists(marker) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(files().exists(marker));
}

TEST_F(ProcessesTest, WaitedProgramHasFinishedItsWork) {
  const std::string marker = PathJoin(scratch_, "installed.txt");
  ASSERT_EQ(processes().run(services_->createFileCommand(marker), true, nullptr), 0U);
  EXPECT_TRUE(files().exists(marker));
}

TEST_F(ProcessesTest, ProgramsThatCannotStartFail) {
  EXPECT_EQ(processes().run(Quoted(PathJoin(scratch_, "missing.exe")), false, nullptr),
            win::kErrorFileNotFound);
  EXPECT_EQ(processes().run("corvane-no-such-program /s", false, nullptr), win::kErrorFileNotFound);
  EXPECT_NE(processes().run(Quoted(PathJoin(scratch_, R"(no folder\setup.exe)")), true, nullptr),
            0U);
  EXPECT_NE(processes().run("", true, nullptr), 0U);

  const std::string text = PathJoin(scratch_, "notes.exe");
  ASSERT_EQ(files().writeFile(text, "this is not a program\r\n"), 0U);
  EXPECT_EQ(processes().run(Quoted(text), true, nullptr), win::kErrorBadExeFormat);
}

}  // namespace
}  // namespace corvane
