// Running installer tasks on a scratch emulated PC, whose programs are #! scripts.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

#include "components/component_report.h"
#include "components/install_task.h"
#include "platform/emulated/emulated_platform.h"
#include "platform/emulated/scratch_machine.h"
#include "platform/file_md5.h"
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
}

// The file task's registration through the machine's regsvr32, which registers the classes
// a registrable file names and refuses any other file.
TEST_F(InstallRunTest, RegserverTaskRegistersTheClassesTheFileNames) {
  constexpr const char* kFirst = "{6F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9}";
  constexpr const char* kSecond = "{0A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9}";
  auto& files = CurrentPlatform().files();
  ASSERT_EQ(
      files.writeFile(R"(C:\t\ctl.ocx)", std::string("corvane-registrable 1\r\n# two\r\nclass ") +
                                             kFirst + "\r\nclass " + kSecond + "\r\n"),
      0U);
  ASSERT_EQ(files.writeFile(R"(C:\t\plain.ocx)", "MZ not registrable"), 0U);
  InstallTask file;
  file.action = "copy";
  file.registerPath = R"(C:\t\ctl.ocx)";
  EXPECT_EQ(RunInstallTask(file, {}), InstallRun::kNothingRun);
  EXPECT_FALSE(IsClassRegistered(kFirst));
  file.action = "regserver";
  EXPECT_EQ(RunInstallTask(file, {}), InstallRun::kStarted);
  EXPECT_TRUE(IsClassRegistered(kFirst));
  EXPECT_TRUE(IsClassRegistered(kSecond));
  std::uint32_t exitCode = 99;
  EXPECT_EQ(CurrentPlatform().processes().run(R"(regsvr32 /s /u "C:\t\ctl.ocx")", true, &exitCode),
            0U);
  EXPECT_EQ(exitCode, 0U);
  EXPECT_FALSE(IsClassRegistered(kFirst));

  // Files it cannot register: started, failed with regsvr32's codes, nothing registered.
  const struct {
    const char* commandLine;
    std::uint32_t exitCode;
  } kFailures[] = {
      {R"(regsvr32 /s "C:\t\missing.ocx")", 3},
      {R"(C:\Windows\System32\regsvr32.exe /s "C:\t\plain.ocx")", 4},
      {R"(regsvr32 /s /x "C:\t\ctl.ocx")", 1},
      {"regsvr32 /s", 1},
  };
  for (const auto& failure : kFailures) {
    exitCode = 99;
    EXPECT_EQ(CurrentPlatform().processes().run(failure.commandLine, true, &exitCode), 0U)
        << failure.commandLine;
    EXPECT_EQ(exitCode, failure.exitCode) << failure.commandLine;
  }
  file.registerPath = R"(C:\t\plain.ocx)";
  EXPECT_EQ(RunInstallTask(file, {}), InstallRun::kStarted);
  EXPECT_FALSE(IsClassRegistered(kFirst));
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

// What runs or is registered is what the download wrote and checked: a file that another
// program changed since is not started (and counts as one that could not be), while the
// same bytes under any other circumstances run.
TEST_F(InstallRunTest, AFileChangedSinceItWasDownloadedIsNeitherRunNorRegistered) {
  auto& files = CurrentPlatform().files();
  Script(R"(C:\t\setup.exe)", R"(echo verified > "$CORVANE_MACHINE/drive_c/t/ran.txt")");
  InstallTask installer = Installer(R"(C:\t\setup.exe)", "%1");
  installer.downloadedMd5 = FileMd5Hex(files, installer.runPath);
  constexpr const char* kClass = "{6F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9}";
  ASSERT_EQ(files.writeFile(R"(C:\t\ctl.ocx)",
                            std::string("corvane-registrable 1\r\nclass ") + kClass + "\r\n"),
            0U);
  InstallTask control;
  control.action = "regserver";
  control.registerPath = R"(C:\t\ctl.ocx)";
  control.md5 = FileMd5Hex(files, control.registerPath);  // known only from the configuration

  // Swapped behind the program's back, as a program of the user's could in DownTmp.
  const std::filesystem::path drive = machine_.folder().root() / "drive_c" / "t";
  std::ofstream(drive / "setup.exe", std::ios::trunc)
      << "#!/bin/sh\necho swapped > \"$CORVANE_MACHINE/drive_c/t/ran.txt\"\n";
  std::ofstream(drive / "ctl.ocx", std::ios::trunc)
      << "corvane-registrable 1\r\nclass {0A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9}\r\n";
  EXPECT_EQ(RunInstallTask(installer, {}), InstallRun::kFailedToStart);
  EXPECT_EQ(RunInstallTask(control, {}), InstallRun::kFailedToStart);
  EXPECT_FALSE(std::filesystem::exists(drive / "ran.txt"));
  EXPECT_FALSE(IsClassRegistered("{0A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9}"));

  installer.downloadedMd5 = FileMd5Hex(files, installer.runPath);
  EXPECT_EQ(RunInstallTask(installer, {}), InstallRun::kStarted);
  std::ifstream ran(drive / "ran.txt");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(ran), {}), "swapped\n");
}

}  // namespace
}  // namespace corvane
