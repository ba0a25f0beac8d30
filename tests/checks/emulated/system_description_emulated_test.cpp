// The Windows description and browser version of emulated PCs made for each case: every name
// and edition the description knows, and where the browser version is read.

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "checks/system_description.h"
#include "checks_test_machine.h"
#include "emulated/scratch_machine.h"
#include "forwarding_platform.h"
#include "platform/emulated/emulated_platform.h"
#include "platform/emulated/machine_presets.h"
#include "platform/environment.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "platform/system_info.h"
#include "platform/win_errors.h"

namespace corvane {
namespace {

struct Windows {
  const char* version;  // major.minor.build
  const char* servicePack;
  unsigned suite;
  int productType;          // 1 workstation, 2 domain controller, 3 server
  const char* productInfo;  // GetProductInfo's type, or "none"
  int architecture;         // 0 x86, 6 IA64, 9 AMD64
  int serverR2 = 0;
  int platformId = 2;
};

std::string MachineIni(const Windows& w) {
  const std::string suite = std::to_string(w.suite);
  return std::string("[windows]\nversion = ") + w.version +
         "\nplatform_id = " + std::to_string(w.platformId) + "\nservice_pack = " + w.servicePack +
         "\nsuite_mask = " + suite + "\nproduct_type = " + std::to_string(w.productType) +
         "\nproduct_info = " + w.productInfo +
         "\narchitecture = " + std::to_string(w.architecture) +
         "\nserver_r2 = " + std::to_string(w.serverR2) + "\n";
}

// An emulated PC with this Windows as the process's platform.
class Machine {
 public:
  explicit Machine(const Windows& windows) {
    std::ofstream(scratch_.folder().machineIni()) << MachineIni(windows);
    auto platform = std::make_unique<emulated::EmulatedPlatform>(scratch_.folder().root());
    EXPECT_EQ(platform->loadErrors(), "");
    scoped_ = std::make_unique<ScopedPlatform>(std::move(platform));
  }

 private:
  emulated::ScratchMachine scratch_;
  std::unique_ptr<ScopedPlatform> scoped_;
};

TEST(DescribeWindowsVersion, EveryNameAndEdition) {
  constexpr unsigned kTs = 0x0100;  // VER_SUITE_SINGLEUSERTS, as workstations report
  struct Case {
    Windows windows;
    const char* text;
  };
  const Case cases[] = {
      {{"5.1.2600", "Service Pack 3", kTs, 1, "none", 0},
       "Microsoft Windows XP 专业版 SP3 (build 2600)"},
      {{"5.1.2600", "Service Pack 2", kTs | 0x200, 1, "none", 0},
       "Microsoft Windows XP 家庭版 SP2 (build 2600)"},
      {{"5.2.3790", "Service Pack 2", 0x0002, 3, "none", 9},
       "Microsoft Windows Server 2003, Enterprise x64 Edition SP2 (build 3790)"},
      {{"5.2.3790", "Service Pack 2", 0x0080, 3, "none", 9},
       "Microsoft Windows Server 2003, Datacenter x64 Edition SP2 (build 3790)"},
      {{"5.2.3790", "", 0x0000, 3, "none", 9},
       "Microsoft Windows Server 2003, Standard x64 Edition (build 3790)"},
      {{"5.2.3790", "Service Pack 2", 0x0002, 3, "none", 0, 3790},
       "Microsoft Windows Server 2003 R2, Enterprise Edition SP2 (build 3790)"},
      {{"5.2.3790", "Service Pack 2", 0x0000, 3, "none", 9, 3790},
       "Microsoft Windows Server 2003 R2, Standard x64 Edition SP2 (build 3790)"},
      {{"5.2.3790", "Service Pack 2", 0x2000, 3, "none", 0},
       "Microsoft Windows Storage Server 2003Standard Edition SP2 (build 3790)"},
      {{"5.2.3790", "Service Pack 2", 0x8000, 3, "none", 0},
       "Microsoft Windows Home ServerStandard Edition SP2 (build 3790)"},
      {{"5.2.3790", "Service Pack 2", kTs, 1, "none", 9},
       "Microsoft Windows XP Professional x64 Edition SP2 (build 3790)"},
      {{"5.2.3790", "", 0x0082, 3, "none", 6},
       "Microsoft Windows Server 2003, Datacenter Edition for Itanium-based Systems (build 3790)"},
      {{"5.2.3790", "", 0x0002, 3, "none", 6},
       "Microsoft Windows Server 2003, Enterprise Edition for Itanium-based Systems (build 3790)"},
      {{"5.2.3790", "", 0x0000, 3, "none", 6}, "Microsoft Windows Server 2003,  (build 3790)"},
      {{"5.2.3790", "", 0x4080, 3, "none", 0},
       "Microsoft Windows Server 2003, Compute Cluster Edition (build 3790)"},
      {{"5.2.3790", "", 0x0082, 2, "none", 0},
       "Microsoft Windows Server 2003, Datacenter Edition (build 3790)"},
      {{"5.2.3790", "", 0x0402, 3, "none", 0},
       "Microsoft Windows Server 2003, Enterprise Edition (build 3790)"},
      {{"5.2.3790", "", 0x0400, 3, "none", 0},
       "Microsoft Windows Server 2003, Web Edition (build 3790)"},
      {{"5.2.3790", "", 0x0000, 3, "none", 0},
       "Microsoft Windows Server 2003, Standard Edition (build 3790)"},
      {{"5.0.2195", "Service Pack 4", 0x0000, 1, "none", 0},
       "Microsoft Windows 2000 专业版 SP4 (build 2195)"},
      {{"5.0.2195", "", 0x0082, 3, "none", 0}, "Microsoft Windows 2000 数据中心版 (build 2195)"},
      {{"5.0.2195", "", 0x0002, 2, "none", 0}, "Microsoft Windows 2000 高级服务器版 (build 2195)"},
      {{"5.0.2195", "", 0x0000, 3, "none", 0}, "Microsoft Windows 2000 服务器版 (build 2195)"},
      {{"6.0.6002", "Service Pack 2", kTs, 1, "6", 0},
       "Microsoft Windows Vista 商用版 SP2 (build 6002) 32位"},
      {{"6.0.6001", "Service Pack 1", 0x0002, 3, "10", 9},
       "Microsoft Windows Server 2008 Enterprise Edition SP1 (build 6001) 64位"},
      {{"6.0.6001", "", 0x0002, 3, "15", 6},
       "Microsoft Windows Server 2008 Enterprise Edition for Itanium-based Systems (build 6001)"},
      {{"6.1.7601", "Service Pack 1", kTs, 1, "1", 9},
       "Microsoft Windows 7 旗舰版 SP1 (build 7601) 64位"},
      {{"6.1.7600", "", kTs, 1, "3", 0}, "Microsoft Windows 7 家庭高级版 (build 7600) 32位"},
      {{"6.1.7601", "Service Pack 1", 0x0080, 2, "8", 9},
       "Microsoft Windows Server 2008 R2 Datacenter Edition SP1 (build 7601) 64位"},
      {{"6.1.7601", "Service Pack 1", kTs, 1, "none", 9},
       "Microsoft Windows 7  SP1 (build 7601) 64位"},
      {{"6.1.7601", "Service Pack 1", kTs, 1, "101", 9},
       "Microsoft Windows 7  SP1 (build 7601) 64位"},
      {{"6.2.9200", "", kTs, 1, "48", 9}, "Microsoft Windows 8 专业版 (build 9200) 64位"},
      {{"6.2.9200", "", 0x0000, 3, "7", 9}, "Microsoft Standard Edition (build 9200) 64位"},
      {{"6.3.9600", "", kTs, 1, "48", 0}, "Microsoft 专业版 (build 9600) 32位"},
      {{"10.0.19045", "", kTs, 1, "48", 9}, "Microsoft  (build 19045) 64位"},
      {{"10.0.19045", "", kTs, 1, "48", 6}, "Microsoft  (build 19045)"},
      {{"6.1.7601", "Service Pack 1, v.1130", kTs, 1, "1", 9},
       "Microsoft Windows 7 旗舰版 SP1, v.1130 (build 7601) 64位"},
      {{"6.1.4294967295", "", kTs, 1, "1", 9},
       "Microsoft Windows 7 旗舰版 (build 4294967295) 64位"},
      {{"4.0.1381", "Service Pack 6", 0x0000, 1, "none", 0}, "Unknown version of Windows"},
      {{"5.1.2600", "", kTs, 1, "none", 0, 0, 1}, "Unknown version of Windows"},
  };
  for (const Case& c : cases) {
    const Machine machine(c.windows);
    EXPECT_EQ(DescribeWindowsVersion(), c.text) << MachineIni(c.windows);
  }
}

// Each machine preset of corvane-machine, as the page's first items and the program see it.
TEST(DescribeWindowsVersion, MachinePresets) {
  struct Case {
    const char* preset;
    const char* text;
    const char* ieVersion;
    bool is64Bit;
  };
  const Case cases[] = {
      {"winxp-sp3-x86", "Microsoft Windows XP 专业版 SP3 (build 2600)", "6.0.2900.5512", false},
      {"win2003-r2-x86", "Microsoft Windows Server 2003 R2, Standard Edition SP2 (build 3790)",
       "6.0.3790.3959", false},
      {"win2003-x64", "Microsoft Windows Server 2003, Enterprise x64 Edition SP2 (build 3790)",
       "6.0.3790.3959", true},
      {"vista-sp2-x86", "Microsoft Windows Vista 家庭高级版 SP2 (build 6002) 32位",
       "7.0.6002.18005", false},
      {"win7-x86", "Microsoft Windows 7 家庭高级版 (build 7600) 32位", "8.0.7600.16385", false},
      {"win7-sp1-x64", "Microsoft Windows 7 旗舰版 SP1 (build 7601) 64位", "8.0.7601.17514", true},
      {"win8-x64", "Microsoft Windows 8 专业版 (build 9200) 64位", "9.10.9200.16384", true},
  };
  const std::vector<emulated::MachinePreset> presets = emulated::MachinePresets();
  ASSERT_EQ(presets.size(), std::size(cases));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.preset);
    const emulated::ScratchMachine scratch;
    const emulated::MachinePreset* preset = emulated::FindMachinePreset(presets, c.preset);
    ASSERT_NE(preset, nullptr);
    ASSERT_EQ(emulated::CreateMachineFromPreset(scratch.folder().root(), *preset), "");
    auto platform = std::make_unique<emulated::EmulatedPlatform>(scratch.folder().root());
    ASSERT_EQ(platform->loadErrors(), "");
    const ScopedPlatform scoped(std::move(platform));
    EXPECT_EQ(DescribeWindowsVersion(), c.text);
    EXPECT_EQ(ReadIeVersion(), c.ieVersion);
    EXPECT_EQ(CurrentPlatform().environment().modulePath(),
              c.is64Bit ? R"(C:\Program Files (x86)\Marrowby\Corvane\corvane.exe)"
                        : R"(C:\Program Files\Marrowby\Corvane\corvane.exe)");
    // The browser version is in the view the 32-bit program reads and in the native one;
    // a 32-bit Windows has no WOW64 keys at all.
    RegistryKey key;
    std::string native;
    ASSERT_EQ(CurrentPlatform().registry().OpenKey(RegistryRoot::kLocalMachine,
                                                   R"(SOFTWARE\Microsoft\Internet Explorer)",
                                                   win::kKeyRead | win::kKeyWow64View64, key),
              0U);
    ASSERT_EQ(key.ReadString("Version", native), 0U);
    EXPECT_EQ(native, c.ieVersion);
    EXPECT_EQ(
        CurrentPlatform().registry().OpenKey(RegistryRoot::kLocalMachine, R"(SOFTWARE\Wow6432Node)",
                                             win::kKeyRead | win::kKeyWow64View64, key) == 0,
        c.is64Bit);
  }
  // A preset makes new machines only.
  const emulated::ScratchMachine used;
  std::ofstream(used.folder().machineIni()) << "[windows]\n";
  EXPECT_NE(emulated::CreateMachineFromPreset(used.folder().root(), presets.front()), "");
  EXPECT_EQ(emulated::FindMachinePreset(presets, "win95"), nullptr);
}

TEST(DescribeWindowsVersion, EveryProductTypeOfVersion6) {
  struct Case {
    const char* productInfo;
    const char* edition;
  };
  const Case cases[] = {
      {"1", "旗舰版"},
      {"2", "家庭普通版"},
      {"3", "家庭高级版"},
      {"4", "企业版"},
      {"6", "商用版"},
      {"7", "Standard Edition"},
      {"8", "Datacenter Edition"},
      {"9", "Small Business Server"},
      {"10", "Enterprise Edition"},
      {"11", "初级版"},
      {"12", "Datacenter Edition (core installation)"},
      {"13", "Standard Edition (core installation)"},
      {"14", "Enterprise Edition (core installation)"},
      {"15", "Enterprise Edition for Itanium-based Systems"},
      {"17", "Web Server Edition"},
      {"18", "Cluster Server Edition"},
      {"25", "Small Business Server Premium Edition"},
      {"48", "专业版"},
      {"5", ""},
      {"16", ""},
      {"0", ""},
  };
  for (const Case& c : cases) {
    const Machine machine({"6.1.7600", "", 0x0100, 1, c.productInfo, 9});
    EXPECT_EQ(DescribeWindowsVersion(),
              std::string("Microsoft Windows 7 ") + c.edition + " (build 7600) 64位")
        << c.productInfo;
  }
}

// A system whose version record cannot be read.
class NoVersionInfo final : public SystemInfo {
 public:
  std::optional<OsVersionInfo> VersionEx() override { return std::nullopt; }
  std::uint16_t NativeProcessorArchitecture() override { return 9; }
  std::optional<std::uint32_t> ProductInfo(std::uint32_t /*major*/, std::uint32_t /*minor*/,
                                           std::uint32_t /*spMajor*/,
                                           std::uint32_t /*spMinor*/) override {
    return 1;
  }
  int ServerR2() override { return 0; }
};

class PlatformWithoutVersion final : public ForwardingPlatform {
 public:
  explicit PlatformWithoutVersion(const std::filesystem::path& root) : inner_(root) {}
  SystemInfo& systemInfo() override { return none_; }

 protected:
  Platform& inner() override { return inner_; }

 private:
  emulated::EmulatedPlatform inner_;
  NoVersionInfo none_;
};

TEST(DescribeWindowsVersion, NoVersionRecordIsAnError) {
  const emulated::ScratchMachine scratch;
  const ScopedPlatform platform(std::make_unique<PlatformWithoutVersion>(scratch.folder().root()));
  EXPECT_EQ(DescribeWindowsVersion(), "Error");
}

TEST(ReadIeVersion, TheMachineValueOfTheProgramsView) {
  constexpr const char* kKey = "SOFTWARE\\Microsoft\\Internet Explorer";
  constexpr RegistryRoot kHklm = RegistryRoot::kLocalMachine;
  struct Case {
    const char* what;
    std::optional<TestValue> value;  // in the 32-bit view; nothing: deleted
    const char* text;
  };
  const Case cases[] = {
      {"as it comes", Sz(u"8.0.7601.17514"), "8.0.7601.17514"},
      {"missing", std::nullopt, "0"},
      {"99 characters fit the buffer", Sz(std::u16string(99, u'9')), nullptr},
      {"100 do not", Sz(std::u16string(100, u'9')), "0"},
      {"not text", Dword(8), "0"},
      {"expandable text", TestValue{win::kRegExpandSz, Sz(u"9.0").data}, "9.0"},
      {"without its NUL", TestValue{win::kRegSz, {'7', 0, '.', 0, '0', 0}}, "7.0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ChecksTestMachine machine;
    // The native view says something else: a 32-bit program reads the other one.
    RegistryKey native;
    ASSERT_EQ(CurrentPlatform().registry().CreateKey(
                  kHklm, kKey, win::kKeyRead | win::kKeyWrite | win::kKeyWow64View64, native),
              win::kErrorSuccess);
    ASSERT_EQ(native.SetString("Version", "11.0.0.0"), win::kErrorSuccess);
    DeleteValue(kHklm, kKey, "Version");
    if (c.value) PutValue(kHklm, kKey, "Version", *c.value);
    // The user's hive is not asked.
    PutValue(RegistryRoot::kCurrentUser, "Software\\Microsoft\\Internet Explorer", "Version",
             Sz(u"10.0"));
    EXPECT_EQ(ReadIeVersion(), c.text != nullptr ? c.text : std::string(99, '9'));
  }

  // A 32-bit Windows has one view.
  const Machine x86({"6.1.7601", "Service Pack 1", 0x0100, 1, "1", 0});
  PutValue(kHklm, kKey, "Version", Sz(u"8.0.1"));
  EXPECT_EQ(ReadIeVersion(), "8.0.1");
}

}  // namespace
}  // namespace corvane
