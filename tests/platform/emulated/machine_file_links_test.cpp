// Programs of the emulated PC can write the whole machine folder, so any of its files may be
// replaced by a symbolic link. For every file the PC reads or writes beside drive_c (and the
// temporary names it writes first), a link planted there must never carry a read or a write
// outside the folder: the file outside stays as it was, a dangling link's target is never
// created, and a linked folder stays empty.

#include <fcntl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/emulated/emulated_platform.h"
#include "platform/emulated/machine_files.h"
#include "platform/emulated/running_images.h"
#include "platform/file_system.h"
#include "platform/instance_lock.h"
#include "platform/registry.h"
#include "platform/win_errors.h"
#include "scratch_machine.h"

namespace corvane::emulated {
namespace {

namespace fs = std::filesystem;

constexpr const char* kOutsideText = "the host's own file\n";
constexpr const char* kCachedUrl = "https://perbank.marrowby.example/logo.gif";

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void Put(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

std::vector<std::string> Listing(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    names.push_back(entry.path().lexically_relative(folder).string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The browser's cache folder, relative to the machine folder.
fs::path CacheFolder(const fs::path& root) {
  EmulatedPlatform machine(root);
  return machine.emulatedBrowserCache().cacheFolder().lexically_relative(root);
}

// A machine made whole, with one entry in the browser's cache.
void MakeMachine(const fs::path& root) {
  EmulatedPlatform machine(root);
  ASSERT_EQ(machine.loadErrors(), "");
  Put(machine.emulatedBrowserCache().cacheFolder() / "urlcache.txt",
      std::string(kCachedUrl) + "\tContent.IE5\\AB12CD34\\logo[1].gif\n");
  ASSERT_EQ(machine.files().createDirectory(R"(C:\data)"), 0U);
  std::unique_ptr<File> file;
  ASSERT_EQ(machine.files().open(R"(C:\data\x.txt)", FileAccess::kWrite,
                                 FileCreation::kCreateAlways, 0, file),
            0U);
}

void SetRegistryValue(EmulatedPlatform& machine) {
  RegistryKey key;
  if (machine.registry().CreateKey(RegistryRoot::kCurrentUser, R"(Software\Marrowby\Test)",
                                   win::kKeyRead | win::kKeyWrite, key) == 0) {
    (void)key.SetString("value", "written");
  }
}

struct Row {
  const char* what;
  fs::path name;                              // where the link is planted, in the machine folder
  bool folder;                                // also planted as a link to a folder outside
  std::function<void(const fs::path&)> make;  // the machine before the link, if any
  // Reads or writes the file; given the folder outside to check while something is held.
  std::function<void(const fs::path&, const fs::path&)> act;
};

TEST(MachineFileLinksTest, ALinkAtAMachineFileNeverReachesOutside) {
  const auto open = [](const fs::path& root, const fs::path& /*host*/) {
    const EmulatedPlatform machine(root);
  };
  const auto clearCache = [](const fs::path& root, const fs::path& /*host*/) {
    EmulatedPlatform machine(root);
    (void)machine.browserCache().DeleteEntry(kCachedUrl);
  };
  const auto startBrowser = [](const fs::path& root, const fs::path& /*host*/) {
    EmulatedPlatform machine(root);
    (void)machine.processes().startAsDesktopUser(R"("C:\browser.exe" https://bank.example/)");
  };
  const auto saveRegistry = [](const fs::path& root, const fs::path& /*host*/) {
    EmulatedPlatform machine(root);
    SetRegistryValue(machine);
  };
  const auto setAttributes = [](const fs::path& root, const fs::path& /*host*/) {
    EmulatedPlatform machine(root);
    (void)machine.files().setAttributes(R"(C:\data\x.txt)", win::kFileAttributeHidden);
  };
  const auto pendingMove = [](const fs::path& root, const fs::path& /*host*/) {
    EmulatedPlatform machine(root);
    (void)machine.files().move(R"(C:\data\x.txt)", "", win::kMoveFileDelayUntilReboot);
  };
  const auto reboot = [](const fs::path& root, const fs::path& /*host*/) {
    EmulatedPlatform machine(root);
    (void)machine.emulatedFiles().Reboot();
  };
  const auto takeLock = [](const fs::path& root, const fs::path& /*host*/) {
    EmulatedPlatform machine(root);
    InstanceHold hold;
    (void)machine.instanceLock().Acquire("Corvane", hold);
  };
  const auto recordImage = [](const fs::path& root, const fs::path& host) {
    EmulatedPlatform machine(root);
    const fs::path program = root / "drive_c" / "data" / "x.txt";
    const auto image = RunningImage::Start(machine.folder(), program);
    (void)IsRunningImage(machine.folder(), program);
    // The record goes with the image: look while it is held.
    EXPECT_TRUE(fs::is_empty(host / "folder"));
  };

  const std::vector<Row> rows = {
      {"machine.ini on a new machine", "machine.ini", false, nullptr, open},
      {"cache.ini on a new machine", "cache.ini", false, nullptr, open},
      {"network.ini", "network.ini", false, MakeMachine, open},
      {"usb.ini", "usb.ini", false, MakeMachine, open},
      {"the URL cache's index", "<cache>/urlcache.txt", false, MakeMachine, clearCache},
      {"the URL cache's new index", "<cache>/urlcache.txt.new", false, MakeMachine, clearCache},
      {"processes.log", "processes.log", false, MakeMachine, startBrowser},
      {"a hive", "registry/HKCU.reg", false, MakeMachine, saveRegistry},
      {"a hive's temporary file", "registry/HKCU.reg.tmp", false, MakeMachine, saveRegistry},
      {"the registry's lock", "registry/.lock", false, MakeMachine, saveRegistry},
      {"the registry folder", "registry", true, nullptr, saveRegistry},
      {"drive_c.attributes", "drive_c.attributes", false, MakeMachine, setAttributes},
      {"drive_c.attributes.new", "drive_c.attributes.new", false, MakeMachine, setAttributes},
      {"drive_c.pending_moves", "drive_c.pending_moves", false, MakeMachine, pendingMove},
      {"drive_c.pending_moves.new", "drive_c.pending_moves.new", false, MakeMachine, pendingMove},
      {"drive_c.pending_moves at a restart", "drive_c.pending_moves", false, MakeMachine, reboot},
      {"the C: drive", "drive_c", true, nullptr, setAttributes},
      {"an instance lock", "locks/Corvane.lock", false, MakeMachine, takeLock},
      {"the locks folder", "locks", true, MakeMachine, takeLock},
      {"the running images' folder", "locks/images", true, MakeMachine, recordImage},
  };
  for (const Row& row : rows) {
    for (const char* target : {"file", "dangling", "folder"}) {
      if (std::string_view(target) == "folder" && !row.folder) continue;
      SCOPED_TRACE(std::string(row.what) + ", a link to a " + target);
      const ScratchMachine machine;
      const ScratchMachine outside;
      const fs::path root = machine.folder().root();
      const fs::path host = outside.folder().root();
      Put(host / "file", kOutsideText);
      fs::create_directory(host / "folder");
      if (row.make) row.make(root);
      fs::path name = row.name;
      if (*name.begin() == "<cache>") name = CacheFolder(root) / name.filename();
      std::error_code ignored;
      fs::remove_all(root / name, ignored);
      fs::create_directories((root / name).parent_path());
      fs::create_symlink(host / target, root / name);
      const std::vector<std::string> before = Listing(host);

      row.act(root, host);

      EXPECT_EQ(ReadText(host / "file"), kOutsideText);
      EXPECT_EQ(Listing(host), before) << "something was made outside the machine folder";
    }
  }
}

// The layer itself: a link on the way to a file is refused as much as one at its name.
TEST(MachineFileLinksTest, TheFileLayerRefusesLinksOnTheWayAndNamesLeavingTheFolder) {
  const ScratchMachine machine;
  const ScratchMachine outside;
  const fs::path root = machine.folder().root();
  const fs::path host = outside.folder().root();
  Put(host / "inner" / "file.txt", kOutsideText);
  fs::create_symlink(host / "inner", root / "linked");
  Put(root / "real" / "file.txt", "inside\n");

  std::string text;
  EXPECT_EQ(ReadMachineFile(root, "real/file.txt", text, 100), MachineFileStatus::kOk);
  EXPECT_EQ(text, "inside\n");
  EXPECT_EQ(ReadMachineFile(root, "real/file.txt", text, 3), MachineFileStatus::kTooLarge);
  EXPECT_EQ(ReadMachineFile(root, "real/none.txt", text, 100), MachineFileStatus::kMissing);
  EXPECT_EQ(ReadMachineFile(root, "real", text, 100), MachineFileStatus::kNotRegular);
  EXPECT_EQ(ReadMachineFile(root, "linked/file.txt", text, 100), MachineFileStatus::kLink);
  EXPECT_EQ(ReadMachineFile(root, "../" + host.filename().string() + "/inner/file.txt", text, 100),
            MachineFileStatus::kFailed);
  EXPECT_EQ(ReadMachineFile(root, host / "inner" / "file.txt", text, 100),
            MachineFileStatus::kFailed);
  EXPECT_EQ(WriteMachineFileAtomically(root, "linked/file.txt", "x"), MachineFileStatus::kLink);
  EXPECT_EQ(AppendMachineFile(root, "linked/new.txt", "x"), MachineFileStatus::kLink);
  EXPECT_EQ(MakeMachineFolders(root, "linked/below"), MachineFileStatus::kLink);
  EXPECT_LT(OpenMachineFile(root, "linked/file.txt", O_RDONLY, 0), 0);
  EXPECT_EQ(errno, ELOOP);
  EXPECT_EQ(ReadText(host / "inner" / "file.txt"), kOutsideText);
  EXPECT_EQ(Listing(host), (std::vector<std::string>{"inner", "inner/file.txt"}));

  // A temporary file left by an earlier run is replaced; the write still lands whole.
  Put(root / "real" / "file.txt.new", "left over");
  EXPECT_EQ(WriteMachineFileAtomically(root, "real/file.txt", "new\n"), MachineFileStatus::kOk);
  EXPECT_EQ(ReadText(root / "real" / "file.txt"), "new\n");
  EXPECT_FALSE(fs::exists(root / "real" / "file.txt.new"));
  MachineWriteOptions options;
  options.createFolders = true;
  EXPECT_EQ(WriteMachineFileAtomically(root, "made/below/file.txt", "x", options),
            MachineFileStatus::kOk);
}

}  // namespace
}  // namespace corvane::emulated
