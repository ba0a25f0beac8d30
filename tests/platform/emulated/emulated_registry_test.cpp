#include "platform/emulated/emulated_registry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/win_errors.h"
#include "scratch_machine.h"

namespace corvane::emulated {
namespace {

constexpr std::uint32_t kReadWrite = win::kKeyRead | win::kKeyWrite;
constexpr RegistryRoot kHklm = RegistryRoot::kLocalMachine;
constexpr RegistryRoot kHkcu = RegistryRoot::kCurrentUser;
constexpr RegistryRoot kHkcr = RegistryRoot::kClassesRoot;

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::filesystem::path& path, std::string_view text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::string ReadString(Registry& registry, RegistryRoot root, const std::string& path,
                       const std::string& name, std::uint32_t access = win::kKeyRead) {
  RegistryKey key;
  if (registry.OpenKey(root, path, access, key) != 0) return "<no key>";
  std::string text;
  if (key.ReadString(name, text) != 0) return "<no value>";
  return text;
}

class EmulatedRegistryTest : public ::testing::Test {
 protected:
  [[nodiscard]] std::filesystem::path Hive(const char* name) const {
    return machine_.folder().registryDir() / name;
  }
  ScratchMachine machine_;
};

TEST_F(EmulatedRegistryTest, NewMachineIsWindows7WithInternetExplorer8) {
  EmulatedRegistry registry(machine_.folder(), RegistryView::kWow64);
  EXPECT_EQ(registry.loadError(), "");
  for (const char* name : {"HKLM.reg", "HKCU.reg", "HKCR.reg"}) {
    EXPECT_TRUE(std::filesystem::is_regular_file(Hive(name))) << name;
  }
  for (const std::uint32_t view : {0U, win::kKeyWow64View64}) {
    EXPECT_EQ(ReadString(registry, kHklm, "SOFTWARE\\Microsoft\\Internet Explorer", "Version",
                         win::kKeyRead | view),
              "8.0.7601.17514");
  }
  EXPECT_EQ(
      ReadString(registry, kHklm, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "CSDVersion"),
      "Service Pack 1");
}

TEST_F(EmulatedRegistryTest, ChangesPersistAcrossRestarts) {
  {
    EmulatedRegistry registry(machine_.folder(), RegistryView::kNative);
    RegistryKey key;
    ASSERT_EQ(registry.CreateKey(kHkcu, "Software\\Bank\\Settings", kReadWrite, key), 0U);
    ASSERT_EQ(key.SetString("Home", "https://ebank.example\\x"), 0U);
    ASSERT_EQ(key.SetDword("Level", 3), 0U);
    ASSERT_EQ(registry.DeleteKey(kHkcu, "Software\\Microsoft\\Internet Explorer\\Main"), 0U);
  }
  EXPECT_NE(ReadFile(Hive("HKCU.reg"))
                .find("[HKEY_CURRENT_USER\\Software\\Bank\\Settings]\n"
                      "\"Home\"=\"https://ebank.example\\\\x\"\n"
                      "\"Level\"=dword:00000003\n"),
            std::string::npos)
      << ReadFile(Hive("HKCU.reg"));

  EmulatedRegistry again(machine_.folder(), RegistryView::kNative);
  EXPECT_EQ(ReadString(again, kHkcu, "software\\bank\\settings", "HOME"),
            "https://ebank.example\\x");
  RegistryKey key;
  EXPECT_EQ(
      again.OpenKey(kHkcu, "Software\\Microsoft\\Internet Explorer\\Main", win::kKeyRead, key),
      win::kErrorFileNotFound);
}

TEST_F(EmulatedRegistryTest, HandEditedHivesAreRead) {
  WriteFile(
      Hive("HKCU.reg"),
      "Windows Registry Editor Version 5.00\r\n"
      "\r\n"
      "[HKEY_CURRENT_USER\\Software\\Policies\\Microsoft\\Internet Explorer\\Control Panel]\r\n"
      "\"Homepage\"=dword:00000001\r\n");
  EmulatedRegistry registry(machine_.folder(), RegistryView::kWow64);
  EXPECT_EQ(registry.loadError(), "");
  RegistryKey key;
  ASSERT_EQ(
      registry.OpenKey(kHkcu, "SOFTWARE\\Policies\\Microsoft\\Internet Explorer\\Control Panel",
                       kReadWrite, key),
      0U);
  std::uint32_t value = 0;
  EXPECT_EQ(key.ReadDword("Homepage", value), 0U);
  EXPECT_EQ(value, 1U);
  // The other hives of the machine were missing and come from the template.
  EXPECT_EQ(ReadString(registry, kHklm, "SOFTWARE\\Microsoft\\Internet Explorer", "Version"),
            "8.0.7601.17514");
}

TEST_F(EmulatedRegistryTest, BrokenHiveIsReportedAndNeverOverwritten) {
  const std::string broken =
      "Windows Registry Editor Version 5.00\n"
      "\n"
      "[HKEY_CURRENT_USER\\Software]\n"
      "\"Path\"=\"C:\\Windows\"\n";
  WriteFile(Hive("HKCU.reg"), broken);
  EmulatedRegistry registry(machine_.folder(), RegistryView::kWow64);

  const std::string error = registry.loadError();
  EXPECT_NE(error.find(Hive("HKCU.reg").string() + ":4:"), std::string::npos) << error;
  EXPECT_NE(error.find("escape"), std::string::npos) << error;

  RegistryKey key;
  EXPECT_EQ(registry.OpenKey(kHkcu, "Software", win::kKeyRead, key), win::kErrorRegistryCorrupt);
  EXPECT_EQ(registry.CreateKey(kHkcu, "Software\\New", kReadWrite, key),
            win::kErrorRegistryCorrupt);
  EXPECT_EQ(registry.DeleteKey(kHkcu, "Software"), win::kErrorRegistryCorrupt);
  EXPECT_EQ(ReadFile(Hive("HKCU.reg")), broken);
  // The sound hives stay usable.
  EXPECT_EQ(registry.CreateKey(kHklm, "SOFTWARE\\Bank", kReadWrite, key), 0U);
}

// An installer changes the hives through its own registry while the program keeps its
// registry open: each sees the other's changes, and neither write loses the other's.
TEST_F(EmulatedRegistryTest, TwoWritersSeeAndKeepEachOthersChanges) {
  EmulatedRegistry program(machine_.folder(), RegistryView::kNative);
  RegistryKey open;
  ASSERT_EQ(program.CreateKey(kHkcu, "Software\\Bank", kReadWrite, open), 0U);
  ASSERT_EQ(open.SetString("Owner", "program"), 0U);

  EmulatedRegistry installer(machine_.folder(), RegistryView::kNative);
  RegistryKey key;
  ASSERT_EQ(installer.CreateKey(kHkcu, "Software\\Bank", kReadWrite, key), 0U);
  EXPECT_EQ(ReadString(installer, kHkcu, "Software\\Bank", "Owner"), "program");
  ASSERT_EQ(key.SetString("Installed", "1"), 0U);
  ASSERT_EQ(installer.CreateKey(kHkcr, "CLSID\\{1}\\InprocServer32", kReadWrite, key), 0U);

  // The handle opened before the change reads the new value; the next write keeps it.
  std::string text;
  EXPECT_EQ(open.ReadString("Installed", text), 0U);
  EXPECT_EQ(text, "1");
  ASSERT_EQ(open.SetString("Owner", "both"), 0U);
  EXPECT_EQ(ReadString(program, kHkcr, "CLSID\\{1}\\InprocServer32", ""), "<no value>");
  EXPECT_EQ(ReadString(installer, kHkcu, "Software\\Bank", "Owner"), "both");
  EXPECT_EQ(ReadString(installer, kHkcu, "Software\\Bank", "Installed"), "1");

  // A key deleted by the other writer is gone for open handles too.
  ASSERT_EQ(installer.DeleteKey(kHkcu, "Software\\Bank"), 0U);
  EXPECT_EQ(open.SetString("Owner", "late"), win::kErrorKeyDeleted);
  EXPECT_EQ(ReadString(program, kHkcu, "Software\\Bank", "Owner"), "<no key>");

  // A hand edit of the file is read too, and a broken one makes the hive unusable until
  // it is mended, without being overwritten.
  const std::string broken = "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\X\n";
  WriteFile(Hive("HKCU.reg"), broken);
  EXPECT_EQ(program.CreateKey(kHkcu, "Software\\New", kReadWrite, key), win::kErrorRegistryCorrupt);
  EXPECT_EQ(ReadFile(Hive("HKCU.reg")), broken);
  WriteFile(Hive("HKCU.reg"),
            "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Edited]\n\"A\"=\"b\"\n");
  EXPECT_EQ(ReadString(program, kHkcu, "Edited", "A"), "b");
  EXPECT_EQ(program.loadError(), "");
}

TEST_F(EmulatedRegistryTest, ConcurrentWritersLoseNothing) {
  constexpr int kEach = 40;
  const auto writer = [this](const std::string& prefix) {
    EmulatedRegistry registry(machine_.folder(), RegistryView::kNative);
    for (int i = 0; i < kEach; ++i) {
      RegistryKey key;
      ASSERT_EQ(registry.CreateKey(kHkcu, "Software\\Race", kReadWrite, key), 0U);
      ASSERT_EQ(key.SetDword(prefix + std::to_string(i), static_cast<std::uint32_t>(i)), 0U);
    }
  };
  {
    EmulatedRegistry setup(machine_.folder(), RegistryView::kNative);  // creates the hives
  }
  std::thread first(writer, "a");
  std::thread second(writer, "b");
  first.join();
  second.join();
  EmulatedRegistry check(machine_.folder(), RegistryView::kNative);
  RegistryKey key;
  ASSERT_EQ(check.OpenKey(kHkcu, "Software\\Race", win::kKeyRead, key), 0U);
  std::vector<std::string> names;
  ASSERT_EQ(key.ValueNames(names), 0U);
  EXPECT_EQ(names.size(), 2U * kEach);
}

TEST_F(EmulatedRegistryTest, FailedSaveLeavesFileAndMemoryAsTheyWere) {
  EmulatedRegistry registry(machine_.folder(), RegistryView::kNative);
  RegistryKey key;
  ASSERT_EQ(registry.CreateKey(kHkcu, "Software\\Bank", kReadWrite, key), 0U);
  ASSERT_EQ(key.SetDword("Kept", 1), 0U);
  const std::string before = ReadFile(Hive("HKCU.reg"));

  // A directory where the temporary file must go makes every save fail.
  std::filesystem::create_directory(Hive("HKCU.reg.tmp"));
  RegistryKey other;
  EXPECT_EQ(key.SetDword("Kept", 2), win::kErrorRegistryIoFailed);
  EXPECT_EQ(key.SetDword("New", 2), win::kErrorRegistryIoFailed);
  EXPECT_EQ(key.DeleteValue("Kept"), win::kErrorRegistryIoFailed);
  EXPECT_EQ(registry.CreateKey(kHkcu, "Software\\Bank\\Sub\\Deeper", kReadWrite, other),
            win::kErrorRegistryIoFailed);
  EXPECT_EQ(registry.DeleteKey(kHkcu, "Software\\Bank"), win::kErrorRegistryIoFailed);

  EXPECT_EQ(ReadFile(Hive("HKCU.reg")), before);
  std::uint32_t value = 0;
  EXPECT_EQ(key.ReadDword("Kept", value), 0U);
  EXPECT_EQ(value, 1U);
  RegistryValueInfo info;
  EXPECT_EQ(key.ProbeValue("New", info), win::kErrorFileNotFound);
  EXPECT_EQ(registry.OpenKey(kHkcu, "Software\\Bank\\Sub", win::kKeyRead, other),
            win::kErrorFileNotFound);

  // Once the disk is writable again, changes are saved, and no temporary file stays.
  std::filesystem::remove(Hive("HKCU.reg.tmp"));
  EXPECT_EQ(key.SetDword("Kept", 3), 0U);
  EXPECT_FALSE(std::filesystem::exists(Hive("HKCU.reg.tmp")));
  EmulatedRegistry again(machine_.folder(), RegistryView::kNative);
  RegistryKey reopened;
  ASSERT_EQ(again.OpenKey(kHkcu, "Software\\Bank", win::kKeyRead, reopened), 0U);
  EXPECT_EQ(reopened.ReadDword("Kept", value), 0U);
  EXPECT_EQ(value, 3U);
}

// Where a 32-bit program on 64-bit Windows 7 finds keys (the shipping build on the default
// machine), and where a native program or an explicit view finds them.
TEST_F(EmulatedRegistryTest, Wow64RedirectsLikeWindows7) {
  struct Case {
    RegistryView view;
    RegistryRoot root;
    const char* asked;
    std::uint32_t access;
    const char* stored;  // the key in the native view
  };
  const Case cases[] = {
      {RegistryView::kWow64, kHklm, "SOFTWARE\\Bank", 0, "SOFTWARE\\Wow6432Node\\Bank"},
      {RegistryView::kWow64, kHklm, "software\\bank", win::kKeyWow64View32,
       "SOFTWARE\\Wow6432Node\\Bank"},
      {RegistryView::kWow64, kHklm, "SOFTWARE\\Bank", win::kKeyWow64View64, "SOFTWARE\\Bank"},
      {RegistryView::kWow64, kHklm, "SOFTWARE\\Wow6432Node\\Bank", 0,
       "SOFTWARE\\Wow6432Node\\Bank"},
      {RegistryView::kWow64, kHklm, "SOFTWARE\\Policies\\Bank", 0, "SOFTWARE\\Policies\\Bank"},
      {RegistryView::kWow64, kHklm, "SOFTWARE\\Microsoft\\SystemCertificates\\ROOT", 0,
       "SOFTWARE\\Microsoft\\SystemCertificates\\ROOT"},
      {RegistryView::kWow64, kHklm, "SOFTWARE\\Classes\\CLSID\\{1}", 0,
       "SOFTWARE\\Classes\\Wow6432Node\\CLSID\\{1}"},
      {RegistryView::kWow64, kHklm, "SOFTWARE\\Classes\\.txt", 0, "SOFTWARE\\Classes\\.txt"},
      {RegistryView::kWow64, kHklm, "SYSTEM\\CurrentControlSet\\Bank", 0,
       "SYSTEM\\CurrentControlSet\\Bank"},
      {RegistryView::kWow64, kHkcr, "CLSID\\{1}\\InprocServer32", 0,
       "Wow6432Node\\CLSID\\{1}\\InprocServer32"},
      {RegistryView::kWow64, kHkcr, "htmlfile\\Bank", 0, "htmlfile\\Bank"},
      {RegistryView::kWow64, kHkcu, "Software\\Classes\\CLSID\\{1}", 0,
       "Software\\Classes\\Wow6432Node\\CLSID\\{1}"},
      {RegistryView::kWow64, kHkcu, "Software\\Microsoft\\Bank", 0, "Software\\Microsoft\\Bank"},
      {RegistryView::kNative, kHklm, "SOFTWARE\\Bank", 0, "SOFTWARE\\Bank"},
      {RegistryView::kNative, kHkcr, "CLSID\\{1}", 0, "CLSID\\{1}"},
  };
  for (const Case& c : cases) {
    ScratchMachine machine;
    {
      EmulatedRegistry registry(machine.folder(), c.view);
      RegistryKey key;
      ASSERT_EQ(registry.CreateKey(c.root, c.asked, kReadWrite | c.access, key), 0U) << c.asked;
      ASSERT_EQ(key.SetString("Where", c.asked), 0U);
      EXPECT_EQ(ReadString(registry, c.root, c.asked, "Where", win::kKeyRead | c.access), c.asked);
    }
    EmulatedRegistry native(machine.folder(), RegistryView::kNative);
    EXPECT_EQ(ReadString(native, c.root, c.stored, "Where"), c.asked) << c.asked;
  }
}

TEST_F(EmulatedRegistryTest, DeleteKeyFollowsTheView) {
  EmulatedRegistry registry(machine_.folder(), RegistryView::kWow64);
  RegistryKey key;
  ASSERT_EQ(registry.CreateKey(kHklm, "SOFTWARE\\Bank", kReadWrite | win::kKeyWow64View64, key),
            0U);
  ASSERT_EQ(registry.CreateKey(kHklm, "SOFTWARE\\Bank", kReadWrite, key), 0U);  // 32-bit copy
  key.Close();
  ASSERT_EQ(registry.DeleteKey(kHklm, "SOFTWARE\\Bank"), 0U);
  EXPECT_EQ(registry.OpenKey(kHklm, "SOFTWARE\\Bank", win::kKeyRead, key), win::kErrorFileNotFound);
  EXPECT_EQ(registry.OpenKey(kHklm, "SOFTWARE\\Bank", win::kKeyRead | win::kKeyWow64View64, key),
            0U);
}

TEST_F(EmulatedRegistryTest, NamesThatCannotBeKeptAreRefused) {
  EmulatedRegistry registry(machine_.folder(), RegistryView::kNative);
  RegistryKey key;
  EXPECT_EQ(registry.CreateKey(kHkcu, "Software\\a\nb", kReadWrite, key),
            win::kErrorInvalidParameter);
  EXPECT_EQ(registry.CreateKey(kHkcu, "\\Software", kReadWrite, key), win::kErrorBadPathname);
  EXPECT_EQ(registry.CreateKey(kHkcu, "Software\\\\x", kReadWrite, key), win::kErrorBadPathname);
  ASSERT_EQ(registry.CreateKey(kHkcu, "Software\\Bank\\", kReadWrite, key), 0U);
  EXPECT_EQ(key.SetDword("line\nbreak", 1), win::kErrorInvalidParameter);
  EmulatedRegistry again(machine_.folder(), RegistryView::kNative);
  EXPECT_EQ(again.loadError(), "");
}

}  // namespace
}  // namespace corvane::emulated
