// Host symbolic links inside the machine folder are never followed: whatever a link placed
// in drive_c, the registry or the certificate stores points at, no read or write through it
// reaches the rest of the host.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "platform/emulated/emulated_platform.h"
#include "platform/file_system.h"
#include "platform/registry.h"
#include "platform/win_errors.h"
#include "scratch_machine.h"

namespace corvane::emulated {
namespace {

namespace fs = std::filesystem;

std::string Contents(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every entry below `folder` with its contents ("" for folders), to show nothing changed.
std::vector<std::string> Snapshot(const fs::path& folder) {
  std::vector<std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    entries.push_back(entry.path().lexically_relative(folder).string() + "=" +
                      (entry.is_regular_file() ? Contents(entry.path()) : ""));
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

class HostLinksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(outside() / "folder");
    std::ofstream(outside() / "secret.txt") << "secret";
    std::ofstream(outside() / "folder" / "inner.txt") << "inner";
    before_ = Snapshot(outside());
  }

  // A folder of the host beside the machine, not inside it.
  [[nodiscard]] fs::path outside() const { return other_.folder().root(); }
  [[nodiscard]] fs::path root() const { return machine_.folder().root(); }

  ScratchMachine machine_;
  ScratchMachine other_;
  std::vector<std::string> before_;
};

TEST_F(HostLinksTest, DriveCRefusesEveryPathThroughALink) {
  EmulatedPlatform platform(root());
  FileSystem& files = platform.files();
  ASSERT_EQ(files.writeFile(R"(C:\plain.txt)", "plain"), win::kErrorSuccess);
  const fs::path drive = machine_.folder().driveC();
  fs::create_directory_symlink(outside(), drive / "LinkDir");
  fs::create_directory_symlink(outside() / "folder", drive / "Users" / "LinkDeep");
  fs::create_symlink(outside() / "secret.txt", drive / "linkfile.txt");
  fs::create_symlink(outside() / "new.txt", drive / "dangling.txt");

  std::string bytes;
  std::uint32_t attributes = 0;
  struct Case {
    const char* what;
    std::function<std::uint32_t()> run;
  };
  const Case cases[] = {
      {"read through a folder link",
       [&] { return files.readFile(R"(C:\linkdir\secret.txt)", bytes); }},
      {"read a file link", [&] { return files.readFile(R"(C:\linkfile.txt)", bytes); }},
      {"read deeper, found without regard to case",
       [&] { return files.readFile(R"(c:\users\linkdeep\INNER.txt)", bytes); }},
      {"write a new file through a folder link",
       [&] { return files.writeFile(R"(C:\LinkDir\new.txt)", "x"); }},
      {"overwrite through a file link", [&] { return files.writeFile(R"(C:\linkfile.txt)", "x"); }},
      {"create through a dangling link",
       [&] { return files.writeFile(R"(C:\dangling.txt)", "x"); }},
      {"move out through a link",
       [&] { return files.move(R"(C:\LinkDir\secret.txt)", R"(C:\stolen.txt)", 0); }},
      {"move in through a link",
       [&] { return files.move(R"(C:\plain.txt)", R"(C:\LinkDir\plain.txt)", 0); }},
      {"replace a file link by a move",
       [&] {
         return files.move(R"(C:\plain.txt)", R"(C:\linkfile.txt)", win::kMoveFileReplaceExisting);
       }},
      {"copy from a link", [&] { return files.copy(R"(C:\linkfile.txt)", R"(C:\c.txt)", false); }},
      {"copy into a link folder",
       [&] { return files.copy(R"(C:\plain.txt)", R"(C:\LinkDir\c.txt)", false); }},
      {"copy over a file link",
       [&] { return files.copy(R"(C:\plain.txt)", R"(C:\linkfile.txt)", false); }},
      {"delete through a link", [&] { return files.deleteFile(R"(C:\LinkDir\secret.txt)"); }},
      {"read attributes through a link",
       [&] { return files.attributes(R"(C:\LinkDir\secret.txt)", attributes); }},
      {"set attributes through a link",
       [&] {
         return files.setAttributes(R"(C:\LinkDir\secret.txt)", win::kFileAttributeReadOnly);
       }},
      {"create a folder through a link",
       [&] { return files.createDirectory(R"(C:\LinkDir\sub)"); }},
      {"create folders through a deeper link",
       [&] { return files.createDirectories(R"(C:\Users\LinkDeep\a\b)"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_NE(c.run(), win::kErrorSuccess);
  }
  EXPECT_FALSE(files.exists(R"(C:\LinkDir\secret.txt)"));
  EXPECT_EQ(Snapshot(outside()), before_) << "nothing outside the machine may change";
  EXPECT_EQ(files.readFile(R"(C:\plain.txt)", bytes), win::kErrorSuccess);
  EXPECT_EQ(bytes, "plain");
  EXPECT_TRUE(fs::is_symlink(drive / "linkfile.txt")) << "the links themselves stay";
}

TEST_F(HostLinksTest, TheRegistryAndTheCertificateStoresRefuseLinks) {
  // A hive that is a link is not read (it could show any file of the host) nor written.
  fs::create_directories(machine_.folder().registryDir());
  fs::create_symlink(outside() / "secret.txt", machine_.folder().registryDir() / "HKCU.reg");
  // The user's certificate stores lead outside.
  fs::create_directories(root() / "certs");
  fs::create_directory_symlink(outside() / "folder", root() / "certs" / "user");
  {
    EmulatedPlatform platform(root());
    EXPECT_NE(platform.loadErrors().find("symbolic link"), std::string::npos)
        << platform.loadErrors();
    RegistryKey key;
    EXPECT_NE(platform.registry().CreateKey(RegistryRoot::kCurrentUser, "Software\\Corvane",
                                            win::kKeyAllAccess, key),
              win::kErrorSuccess);
    EXPECT_EQ(platform.certificateStores().OpenSystemStore("ROOT"), nullptr);
    EXPECT_EQ(platform.certificateStores().OpenSystemStore("MY"), nullptr);
  }
  EXPECT_EQ(Snapshot(outside()), before_) << "nothing outside the machine may change";
}

}  // namespace
}  // namespace corvane::emulated
