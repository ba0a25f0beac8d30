// Running installer tasks on a scratch emulated PC, whose programs are #! scripts.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "components/install_task.h"
#include "platform/emulated/emulated_platform.h"
#include "platform/emulated/scratch_machine.h"
#include "platform/file_system.h"
#include "platform/platform.h"

namespace corvane {
namespace {

class InstallRunTest : public ::testing::Test {
 protected:
  InstallRunTest()
      : platform_(std::make_unique<emulated::EmulatedPlatform>(machine_.folder().root())) {
    EXPECT_EQ(CurrentPlatform().files().createDirectories(R"(C:\t)"), 0U);
  }
  static void Script(const char* path, const std::string& body) {
    ASSERT_EQ(CurrentPlatform().files().writeFile(path, "#!/bin/sh\n" + body + "\n"), 0U);
  }
  emulated::ScratchMachine machine_;
  ScopedPlatform platform_;
};

InstallTask Installer(const char* path, const char* command) {
  InstallTask task;
  task.runPath = path;
  task.command = command;
  return task;
}

TEST_F(InstallRunTest, InstallerRunsWithItsArgumentsAndFailuresToStartAreReported) {
  Script(R"(C:\t\setup.exe)", R"(echo "$@" > "$CORVANE_MACHINE/drive_c/t/ran.txt")");
  EXPECT_EQ(RunInstallTask(Installer(R"(C:\t\setup.exe)", "%1 /sp- /verysilent"), {}),
            InstallRun::kStarted);
  std::string ran;
  ASSERT_EQ(CurrentPlatform().files().readFile(R"(C:\t\ran.txt)", ran), 0U);
  EXPECT_EQ(ran, "/sp- /verysilent\n");
  EXPECT_EQ(RunInstallTask(Installer(R"(C:\t\missing.exe)", "%1"), {}), InstallRun::kFailedToStart);
  EXPECT_EQ(RunInstallTask(Installer(R"(C:\t\setup.exe)", ""), {}), InstallRun::kFailedToStart);
  // A file task registers only with "regserver"; this PC has no regsvr32 at all.
  InstallTask file;
  file.action = "copy";
  file.registerPath = R"(C:\t\setup.exe)";
  EXPECT_EQ(RunInstallTask(file, {}), InstallRun::kNothingRun);
  file.action = "regserver";
  EXPECT_EQ(RunInstallTask(file, {}), InstallRun::kFailedToStart);
}

TEST_F(InstallRunTest, AStopLeavesAWaitingInstallerRunning) {
  Script(R"(C:\t\slow.exe)", R"(sleep 3; echo done > "$CORVANE_MACHINE/drive_c/t/slow.txt")");
  std::stop_source stop;
  const auto started = std::chrono::steady_clock::now();
  std::jthread closer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    stop.request_stop();
  });
  EXPECT_EQ(RunInstallTask(Installer(R"(C:\t\slow.exe)", "%1"), stop.get_token()),
            InstallRun::kStarted);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
  EXPECT_FALSE(CurrentPlatform().files().exists(R"(C:\t\slow.txt)"));
  // It goes on by itself.
  for (int i = 0; i < 100 && !CurrentPlatform().files().exists(R"(C:\t\slow.txt)"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(CurrentPlatform().files().exists(R"(C:\t\slow.txt)"));
}

}  // namespace
}  // namespace corvane
