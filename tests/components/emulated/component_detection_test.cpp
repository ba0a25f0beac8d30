// Detection of components on a scratch emulated PC: the rules, the file requirements and
// the install hint, and the add-on's re-enabling.

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

#include "components/component_report.h"
#include "fixtures/pe_fixtures.inc"
#include "platform/emulated/emulated_platform.h"
#include "platform/emulated/scratch_machine.h"
#include "platform/file_md5.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/registry.h"

namespace corvane {
namespace {

constexpr const char* kRegistered = "{11111111-2222-3333-4444-555555555555}";
constexpr const char* kUnregistered = "{99999999-2222-3333-4444-555555555555}";
constexpr const char* kServer = R"(C:\Windows\System32\ctl.ocx)";
constexpr const char* kVersioned = R"(C:\Program Files\Bank\ctl.dll)";  // version 1.2.3.4
constexpr const char* kSettings = R"(Software\Microsoft\Windows\CurrentVersion\Ext\Settings\)";

class ComponentDetectionTest : public ::testing::Test {
 protected:
  ComponentDetectionTest()
      : platform_(std::make_unique<emulated::EmulatedPlatform>(machine_.folder().root())) {
    FileSystem& files = CurrentPlatform().files();
    EXPECT_EQ(files.writeFile(kServer, "control"), 0U);
    EXPECT_EQ(files.createDirectories(R"(C:\Program Files\Bank)"), 0U);
    EXPECT_EQ(
        files.writeFile(kVersioned, std::string_view(reinterpret_cast<const char*>(kVersioned32Exe),
                                                     sizeof(kVersioned32Exe))),
        0U);
    RegistryKey key;
    EXPECT_EQ(
        CurrentPlatform().registry().CreateKey(
            RegistryRoot::kClassesRoot, std::string("CLSID\\") + kRegistered + "\\InprocServer32",
            win::kKeyAllAccess, key),
        0U);
    EXPECT_EQ(key.SetString("", kServer), 0U);
  }

  static void Disable(const char* classId, std::uint32_t flags = 1) {
    RegistryKey key;
    ASSERT_EQ(
        CurrentPlatform().registry().CreateKey(
            RegistryRoot::kCurrentUser, std::string(kSettings) + classId, win::kKeyAllAccess, key),
        0U);
    ASSERT_EQ(key.SetDword("Flags", flags), 0U);
  }

  void PlugIn(const std::string& usbIni) {
    std::ofstream(machine_.folder().root() / "usb.ini") << usbIni;
  }

  emulated::ScratchMachine machine_;
  ScopedPlatform platform_;
};

CheckItem Entry(std::initializer_list<std::pair<const char*, const char*>> rules) {
  CheckItem entry;
  entry.type = "SafeActiveX";
  for (const auto& [type, text] : rules) entry.detects.push_back({text, type});
  return entry;
}

CheckItem WithInstaller(CheckItem entry) {
  entry.installers.push_back({"http://update.example/setup.exe", "%1", R"(C:\t\setup.exe)", ""});
  return entry;
}

CheckItem WithFile(CheckItem entry, const char* version, const char* md5, const char* url) {
  entry.files.push_back({"", kVersioned, url, version, md5, ""});
  return entry;
}

TEST_F(ComponentDetectionTest, StateWordFromRulesFilesAndInstallers) {
  Disable(kRegistered);
  const std::string md5 = FileMd5Hex(CurrentPlatform().files(), kVersioned);
  std::string upperMd5 = md5;
  for (char& c : upperMd5) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::string serverRule = R"(%SystemRoot%\System32\ctl.ocx)";
  struct Case {
    const char* name;
    CheckItem entry;
    ComponentState expected;
  };
  const Case cases[] = {
      {"no rules, no files", Entry({}), 0},
      {"registered class and present file", Entry({{"file", serverRule.c_str()}}), 0},
      {"missing class, nothing to install", Entry({{"clsid", kUnregistered}}), 4},
      {"missing class with an installer", WithInstaller(Entry({{"clsid", kUnregistered}})), 5},
      {"registered but disabled add-on", Entry({{"clsid", kRegistered}}), 0x40000000U},
      {"missing file stops before the disabled add-on",
       WithInstaller(Entry({{"file", R"(C:\nowhere.ocx)"}, {"clsid", kRegistered}})), 5},
      {"reg rule with one comma", Entry({{"reg", R"(HKEY_CURRENT_USER,Software)"}}), 4},
      {"unknown rule types are ignored", Entry({{"service", "x"}, {"Clsid", kUnregistered}}), 0},
      {"version 1.2 of 1.2.3.4 passes", WithFile(Entry({}), "1.2", "", ""), 0},
      {"version 1.2.3.5 fails, upgrade offered", WithFile(Entry({}), "1.2.3.5", "", "http://u/f"),
       2},
      {"low half compared on its own", WithFile(Entry({}), "0.9.9.9", "", ""), 1},
      {"matching md5", WithFile(Entry({}), "", md5.c_str(), ""), 0},
      {"upper-case md5 never matches", WithFile(Entry({}), "", upperMd5.c_str(), ""), 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<CheckItem> list = {c.entry};
    EXPECT_TRUE(DetectComponents(list));
    EXPECT_EQ(list[0].state, c.expected);
  }
}

TEST_F(ComponentDetectionTest, UsbKeyRuleSetsTheAbsentFlagUntilADeviceIsPlugged) {
  const CheckItem key = Entry({{"usbkey", "0x096E0702, 305419896,0"}, {"clsid", kUnregistered}});
  std::vector<CheckItem> list = {key};
  DetectComponents(list);
  EXPECT_EQ(list[0].state, 0x80000000U | 4U);
  PlugIn("05e3:0608 hub\n1234:5678\n");  // 305419896 is 0x12345678
  DetectComponents(list);
  EXPECT_EQ(list[0].state, 4U);
  PlugIn("096e:0702\n");
  DetectComponents(list);
  EXPECT_EQ(list[0].state, 4U);
  PlugIn("096e:0703\n");
  DetectComponents(list);
  EXPECT_EQ(list[0].state, 0x80000004U);
}

TEST_F(ComponentDetectionTest, ReEnablingDeletesTheSettingsKeyOfADisabledAddOnOnly) {
  Disable(kRegistered);
  Disable(kUnregistered, 0);  // present but not disabled: kept
  EXPECT_TRUE(IsAddOnDisabled(kRegistered, false));
  EXPECT_FALSE(IsAddOnDisabled(kUnregistered, false));
  EXPECT_FALSE(IsAddOnDisabled(kRegistered, true));
  EXPECT_FALSE(IsAddOnDisabled(kRegistered, false));
  EXPECT_FALSE(IsAddOnDisabled(kUnregistered, true));
  RegistryKey key;
  EXPECT_NE(
      CurrentPlatform().registry().OpenKey(
          RegistryRoot::kCurrentUser, std::string(kSettings) + kRegistered, win::kKeyRead, key),
      0U);
  EXPECT_EQ(
      CurrentPlatform().registry().OpenKey(
          RegistryRoot::kCurrentUser, std::string(kSettings) + kUnregistered, win::kKeyRead, key),
      0U);
}

TEST_F(ComponentDetectionTest, AClassIsRegisteredOnlyWhenItsServerFileExists) {
  EXPECT_TRUE(IsClassRegistered(kRegistered));
  EXPECT_FALSE(IsClassRegistered(kUnregistered));
  ASSERT_EQ(CurrentPlatform().files().deleteFile(kServer), 0U);
  EXPECT_FALSE(IsClassRegistered(kRegistered));
  // A path longer than the 260 units it is read into does not count.
  const std::string longPath = "C:\\" + std::string(300, 'a');
  RegistryKey key;
  ASSERT_EQ(CurrentPlatform().registry().CreateKey(
                RegistryRoot::kClassesRoot,
                std::string("CLSID\\") + kRegistered + "\\InprocServer32", win::kKeyAllAccess, key),
            0U);
  ASSERT_EQ(key.SetString("", longPath), 0U);
  EXPECT_FALSE(IsClassRegistered(kRegistered));
}

TEST_F(ComponentDetectionTest, AnyUsbIdConnectedLooksForEachWantedIdInOneEnumeration) {
  PlugIn("096e:0702\n096e:0702\n1d6b:0002 hub\n");
  EXPECT_EQ(ListConnectedUsbIds(), (std::vector<UsbDeviceId>{0x096E0702U, 0x096E0702U}));
  const std::vector<UsbDeviceId> none;
  const std::vector<UsbDeviceId> hub = {0x1D6B0002U};
  const std::vector<UsbDeviceId> second = {0x11112222U, 0x096E0702U};
  EXPECT_FALSE(AnyUsbIdConnected(none));
  EXPECT_FALSE(AnyUsbIdConnected(hub));
  EXPECT_TRUE(AnyUsbIdConnected(second));
}

}  // namespace
}  // namespace corvane
