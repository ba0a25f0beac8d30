// What only the emulated PC has: its folder layout, state kept across instances, restarts,
// the mapping of Windows paths onto the host and scripts standing in for programs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

#include "platform/emulated/emulated_environment.h"
#include "platform/emulated/emulated_file_system.h"
#include "platform/emulated/emulated_processes.h"
#include "platform/file_md5.h"
#include "platform/win_errors.h"

namespace corvane::emulated {
namespace {

namespace fs = std::filesystem;

#include "fixtures/pe_fixtures.inc"

class EmulatedMachineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    root_ = fs::temp_directory_path() /
            ("corvane-machine-" + std::to_string(random()) + std::to_string(random()));
    fs::create_directories(root_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  // A machine on the folder, as a new process would see it.
  struct Machine {
    explicit Machine(const fs::path& root)
        : folder(root),
          environment(folder, ReadMachineIdentity(folder)),
          files(folder, environment),
          processes(folder, environment) {}
    MachineFolder folder;
    EmulatedEnvironment environment;
    EmulatedFileSystem files;
    EmulatedProcesses processes;
  };

  static std::string ReadHost(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  fs::path root_;
};

TEST_F(EmulatedMachineTest, NewMachineHasAWindowsLayoutAndIdentity) {
  std::ofstream(root_ / "machine.ini") << "[windows]\narchitecture = 0\n[user]\nname = Li Wei\n"
                                          "computer_name = DESK-7\n";
  Machine machine(root_);
  EXPECT_EQ(machine.environment.variable("USERNAME"), "Li Wei");
  EXPECT_EQ(machine.environment.variable("computername"), "DESK-7");
  EXPECT_EQ(machine.environment.tempFolder(), R"(C:\Users\Li Wei\AppData\Local\Temp\)");
  // A 32-bit machine has one Program Files, and no (x86) variables.
  EXPECT_EQ(machine.environment.variable("ProgramFiles"), R"(C:\Program Files)");
  EXPECT_EQ(machine.environment.variable("ProgramFiles(x86)"), std::nullopt);
  EXPECT_EQ(machine.environment.modulePath(), R"(C:\Program Files\Marrowby\Corvane\corvane.exe)");

  EXPECT_TRUE(fs::is_directory(root_ / "drive_c/Users/Li Wei/AppData/Local/Temp"));
  EXPECT_TRUE(fs::is_regular_file(root_ / "drive_c/Windows/System32/drivers/etc/hosts"));
  EXPECT_TRUE(
      machine.files.exists(machine.environment.expand(R"(%windir%\system32\drivers\etc\hosts)")));
  EXPECT_TRUE(machine.files.exists(R"(C:\Program Files\Marrowby\Corvane)"));
}

TEST_F(EmulatedMachineTest, SixtyFourBitMachineShowsWhatWow64Shows) {
  Machine machine(root_);
  EXPECT_EQ(machine.environment.variable("ProgramFiles"), R"(C:\Program Files (x86))");
  EXPECT_EQ(machine.environment.variable("ProgramW6432"), R"(C:\Program Files)");
  EXPECT_EQ(machine.environment.modulePath(),
            R"(C:\Program Files (x86)\Marrowby\Corvane\corvane.exe)");
  EXPECT_EQ(machine.environment.currentDirectory(), R"(C:\Program Files (x86)\Marrowby\Corvane)");
}

TEST_F(EmulatedMachineTest, PathsStayOnDriveC) {
  Machine machine(root_);
  EmulatedFileSystem& files = machine.files;
  ASSERT_EQ(files.writeFile(R"(C:\Temp.txt)", "x"), 0U);
  EXPECT_EQ(files.hostPath(R"(C:\..\..\Temp.txt)"), root_ / "drive_c/Temp.txt");
  EXPECT_EQ(files.hostPath(R"(c:/Windows/./SYSTEM32/../win.ini)"),
            root_ / "drive_c/Windows/win.ini");
  EXPECT_EQ(files.hostPath(R"(\temp.txt.  )"),
            root_ / "drive_c/Temp.txt");  // trailing dots, blanks

  std::uint32_t attributes = 0;
  EXPECT_EQ(files.attributes(R"(D:\setup.exe)", attributes), win::kErrorPathNotFound);
  EXPECT_EQ(files.attributes(R"(\\server\share\setup.exe)", attributes), win::kErrorPathNotFound);
  EXPECT_EQ(files.writeFile(R"(C:\bad?name.txt)", "x"), win::kErrorInvalidName);
  EXPECT_EQ(files.writeFile("C:\\bad\nname.txt", "x"), win::kErrorInvalidName);
}

TEST_F(EmulatedMachineTest, FindsHostFilesWhateverTheirCase) {
  Machine machine(root_);
  fs::create_directories(root_ / "drive_c/Program Files (x86)/BANK SAFE/Keys");
  std::ofstream(root_ / "drive_c/Program Files (x86)/BANK SAFE/Keys/KeyCtl.OCX") << "control";
  const std::string path =
      machine.environment.expand(R"(%ProgramFiles%\Bank Safe\keys\keyctl.ocx)");
  EXPECT_TRUE(machine.files.exists(path)) << path;
  EXPECT_EQ(FileMd5Hex(machine.files, path), "fc5364bf9dbfa34954526becad136d4b");
}

TEST_F(EmulatedMachineTest, AttributesOutliveTheProcessAndFollowRenames) {
  {
    Machine machine(root_);
    ASSERT_EQ(machine.files.createDirectories(R"(C:\Work\Sub)"), 0U);
    ASSERT_EQ(machine.files.writeFile(R"(C:\Work\Sub\item.xml)", "x"), 0U);
    ASSERT_EQ(machine.files.setAttributes(R"(C:\Work\Sub\item.xml)", win::kFileAttributeHidden),
              0U);
    ASSERT_EQ(machine.files.move(R"(C:\Work)", R"(C:\Moved)", 0), 0U);
  }
  Machine machine(root_);
  std::uint32_t attributes = 0;
  ASSERT_EQ(machine.files.attributes(R"(C:\moved\sub\ITEM.XML)", attributes), 0U);
  EXPECT_EQ(attributes, win::kFileAttributeHidden);

  // A file deleted and made again is plain again.
  ASSERT_EQ(machine.files.deleteFile(R"(C:\Moved\Sub\item.xml)"), 0U);
  ASSERT_EQ(machine.files.writeFile(R"(C:\Moved\Sub\item.xml)", "y"), 0U);
  ASSERT_EQ(machine.files.attributes(R"(C:\Moved\Sub\item.xml)", attributes), 0U);
  EXPECT_EQ(attributes, win::kFileAttributeArchive);
}

// The self-update's fallback: the running program's files are moved at the next start.
TEST_F(EmulatedMachineTest, DelayedMovesHappenAtReboot) {
  const std::string exe = R"(C:\Program Files (x86)\Marrowby\Corvane\corvane.exe)";
  const std::string old = exe + ".old";
  const std::string download = R"(C:\Users\User\AppData\Local\Temp\DownTmp\corvane.exe)";
  {
    Machine machine(root_);
    EmulatedFileSystem& files = machine.files;
    ASSERT_EQ(files.createDirectories(R"(C:\Users\User\AppData\Local\Temp\DownTmp)"), 0U);
    ASSERT_EQ(files.writeFile(old, "old image"), 0U);
    ASSERT_EQ(files.writeFile(download, "new image"), 0U);
    ASSERT_EQ(files.writeFile(R"(C:\stale.txt)", "stale"), 0U);
    ASSERT_EQ(files.writeFile(R"(C:\kept.txt)", "kept"), 0U);

    ASSERT_EQ(files.move(old, "", win::kMoveFileDelayUntilReboot), 0U);
    ASSERT_EQ(files.move(download, exe, win::kMoveFileDelayUntilReboot), 0U);
    // Without replace-existing a move onto a file that is there by then does not happen.
    ASSERT_EQ(files.move(R"(C:\stale.txt)", R"(C:\kept.txt)", win::kMoveFileDelayUntilReboot), 0U);
    EXPECT_EQ(files.move(download, exe, win::kMoveFileDelayUntilReboot | win::kMoveFileCopyAllowed),
              win::kErrorInvalidParameter);

    // Nothing moves before the restart.
    EXPECT_TRUE(files.exists(old));
    EXPECT_FALSE(files.exists(exe));
    ASSERT_EQ(files.pendingMoves().size(), 3U);
    EXPECT_EQ(files.pendingMoves()[0].to, "");
  }
  Machine machine(root_);  // the registrations are kept in the machine folder
  EXPECT_EQ(machine.files.Reboot(), 2U);
  EXPECT_FALSE(machine.files.exists(old));
  EXPECT_FALSE(machine.files.exists(download));
  std::string bytes;
  ASSERT_EQ(machine.files.readFile(exe, bytes), 0U);
  EXPECT_EQ(bytes, "new image");
  ASSERT_EQ(machine.files.readFile(R"(C:\kept.txt)", bytes), 0U);
  EXPECT_EQ(bytes, "kept");
  EXPECT_TRUE(machine.files.exists(R"(C:\stale.txt)"));
  EXPECT_TRUE(machine.files.pendingMoves().empty());
  EXPECT_EQ(machine.files.Reboot(), 0U);
}

TEST_F(EmulatedMachineTest, ScriptsGetWindowsArgumentsAndTheMachine) {
  Machine machine(root_);
  const std::string script = R"(C:\Program Files (x86)\Marrowby\Corvane\record.cmd)";
  ASSERT_EQ(machine.files.writeFile(script,
                                    "#!/bin/sh\n"
                                    "out=\"$CORVANE_MACHINE/drive_c/args.txt\"\n"
                                    ": > \"$out\"\n"
                                    "for a in \"$@\"; do printf '[%s]' \"$a\" >> \"$out\"; done\n"
                                    "pwd > \"$CORVANE_MACHINE/drive_c/cwd.txt\"\n"),
            0U);
  // Found in the program's own folder; the extension was given, so none is added.
  ASSERT_EQ(
      machine.processes.run(R"(record.cmd /s "C:\Users\User\My File.ocx" a\"b)", true, nullptr),
      0U);
  EXPECT_EQ(ReadHost(root_ / "drive_c/args.txt"), R"([/s][C:\Users\User\My File.ocx][a"b])");
  EXPECT_EQ(fs::path(ReadHost(root_ / "drive_c/cwd.txt")
                         .substr(0, ReadHost(root_ / "drive_c/cwd.txt").size() - 1)),
            fs::canonical(root_ / "drive_c/Program Files (x86)/Marrowby/Corvane"));
}

TEST_F(EmulatedMachineTest, ProgramsAreSearchedWithExeAppended) {
  Machine machine(root_);
  ASSERT_EQ(machine.files.writeFile(R"(C:\Windows\System32\regsvr32.exe)", "#!/bin/sh\nexit 5\n"),
            0U);
  std::uint32_t exitCode = 0;
  ASSERT_EQ(machine.processes.run(R"(regsvr32 /s "C:\x.ocx")", true, &exitCode), 0U);
  EXPECT_EQ(exitCode, 5U);

  // PATH is searched last; names with a folder are not searched at all.
  ASSERT_EQ(machine.files.createDirectories(R"(C:\Tools)"), 0U);
  ASSERT_EQ(machine.files.writeFile(R"(C:\Tools\helper.exe)", "#!/bin/sh\nexit 6\n"), 0U);
  EXPECT_EQ(machine.processes.run("helper", true, &exitCode), win::kErrorFileNotFound);
  machine.environment.setVariable("path", std::string(R"(C:\Windows;C:\Tools)"));
  ASSERT_EQ(machine.processes.run("helper", true, &exitCode), 0U);
  EXPECT_EQ(exitCode, 6U);
  EXPECT_EQ(machine.processes.run(R"(Tools\helper)", true, &exitCode), win::kErrorPathNotFound);
}

TEST_F(EmulatedMachineTest, WindowsProgramsCannotRun) {
  Machine machine(root_);
  const std::string installer = R"(C:\Users\User\AppData\Local\Temp\Keyvessel.exe)";
  ASSERT_EQ(machine.files.writeFile(
                installer, std::string(std::begin(kVersioned32Exe), std::end(kVersioned32Exe))),
            0U);
  EXPECT_EQ(machine.processes.run("\"" + installer + "\" /verysilent", true, nullptr),
            win::kErrorBadExeFormat);
  // ... but the emulated self-update can read their version.
  FixedFileVersion version;
  ASSERT_EQ(machine.files.fixedFileVersion(installer, version), 0U);
  EXPECT_EQ(version.fileVersionMS, 0x00010002U);
}

TEST_F(EmulatedMachineTest, ModulePathCanBeMoved) {
  Machine machine(root_);
  machine.environment.setModulePath(R"(C:\Apps\corvane.exe)");
  EXPECT_EQ(machine.environment.modulePath(), R"(C:\Apps\corvane.exe)");
  // Programs beside the running one are found first.
  ASSERT_EQ(machine.files.createDirectories(R"(C:\Apps)"), 0U);
  ASSERT_EQ(machine.files.writeFile(R"(C:\Apps\corvane.exe)", "#!/bin/sh\nexit 9\n"), 0U);
  std::uint32_t exitCode = 0;
  ASSERT_EQ(machine.processes.run("corvane /update", true, &exitCode), 0U);
  EXPECT_EQ(exitCode, 9U);
}

// The host cannot stop another process rewriting a pinned file in drive_c, so the emulated
// PC reads, copies and runs the bytes it had when pinned: an installer swapped between its
// check and its start is not the one that runs, confined or not.
TEST_F(EmulatedMachineTest, PinnedFileKeepsItsBytesWhateverTheHostDoesToIt) {
  for (const bool confined : {true, false}) {
    SCOPED_TRACE(confined ? "confined" : "unconfined");
    Machine machine(root_);
    machine.processes.setPinnedFiles(&machine.files.pins());
    ProgramConfinement confinement;
    confinement.confined = confined;
    machine.processes.setConfinement(confinement);
    const std::string installer = R"(C:\setup.exe)";
    const auto script = [](std::string_view word) {
      return "#!/bin/sh\necho " + std::string(word) + " > \"$CORVANE_MACHINE/drive_c/ran.txt\"\n";
    };
    ASSERT_EQ(machine.files.writeFile(installer, script("verified")), 0U);
    const std::string digest = FileMd5Hex(machine.files, installer);
    std::unique_ptr<File> pin;
    ASSERT_EQ(machine.files.pin(installer, pin), 0U);

    // Another program replaces it on the host, by a new file and by writing in place.
    const fs::path host = root_ / "drive_c" / "setup.exe";
    {
      std::ofstream(host.string() + ".x", std::ios::binary) << script("swapped");
      fs::rename(host.string() + ".x", host);
    }
    EXPECT_EQ(FileMd5Hex(machine.files, installer), digest);
    ASSERT_EQ(machine.processes.run("\"" + installer + "\"", true, nullptr), 0U);
    EXPECT_EQ(ReadHost(root_ / "drive_c" / "ran.txt"), "verified\n");
    std::ofstream(host, std::ios::binary | std::ios::trunc) << script("rewritten");
    ASSERT_EQ(machine.files.copy(installer, R"(C:\copy.exe)", false), 0U);
    EXPECT_EQ(ReadHost(root_ / "drive_c" / "copy.exe"), script("verified"));

    // Released, the path is the host's file again.
    pin.reset();
    ASSERT_EQ(machine.processes.run("\"" + installer + "\"", true, nullptr), 0U);
    EXPECT_EQ(ReadHost(root_ / "drive_c" / "ran.txt"), "rewritten\n");
  }
}

}  // namespace
}  // namespace corvane::emulated
