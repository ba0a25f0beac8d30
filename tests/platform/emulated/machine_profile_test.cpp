#include "platform/emulated/machine_profile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/emulated/emulated_system_info.h"
#include "scratch_machine.h"

namespace corvane::emulated {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(MachineProfileTest, NewMachineGetsTheDefaultProfileOnDisk) {
  ScratchMachine machine;
  const MachineProfileLoad first = LoadMachineProfile(machine.folder());
  EXPECT_EQ(first.error, "");
  const std::string text = ReadFile(machine.folder().machineIni());
  EXPECT_NE(text.find("version = 6.1.7601\n"), std::string::npos) << text;
  EXPECT_NE(text.find("product_info = 0x00000001\n"), std::string::npos) << text;
  EXPECT_NE(text.find("online = yes\n"), std::string::npos) << text;

  const MachineProfileLoad second = LoadMachineProfile(machine.folder());
  EXPECT_EQ(second.error, "");
  EXPECT_EQ(second.profile.version, first.profile.version);
  EXPECT_EQ(second.profile.productInfo, win::kProductUltimate);
  EXPECT_TRUE(second.profile.is64Bit());
}

TEST(MachineProfileTest, WrittenProfilesReadBackTheSame) {
  MachineProfile xp;
  xp.version = {5, 1, 2600, 2, "Service Pack 3", 3, 0, 0x0200, 1};
  xp.architecture = win::kProcessorArchitectureIntel;
  xp.productInfo.reset();
  xp.serverR2 = 0;
  xp.userName = "张三";
  xp.online = false;
  xp.programsConfined = false;
  xp.programsNetwork = true;
  xp.programsReadOnly = {"/opt/tools", "/srv/bank tools/setup"};
  const MachineProfileLoad load = ParseMachineProfile(WriteMachineProfile(xp), "m.ini");
  EXPECT_EQ(load.error, "");
  EXPECT_EQ(load.profile.version, xp.version);
  EXPECT_EQ(load.profile.architecture, xp.architecture);
  EXPECT_FALSE(load.profile.productInfo.has_value());
  EXPECT_EQ(load.profile.userName, "张三");
  EXPECT_FALSE(load.profile.online);
  EXPECT_FALSE(load.profile.is64Bit());
  EXPECT_FALSE(load.profile.programsConfined);
  EXPECT_TRUE(load.profile.programsNetwork);
  EXPECT_EQ(load.profile.programsReadOnly, xp.programsReadOnly);

  EmulatedSystemInfo info(load.profile);
  EXPECT_EQ(info.VersionEx(), xp.version);
  EXPECT_FALSE(info.ProductInfo(5, 1, 0, 0).has_value());
}

TEST(MachineProfileTest, HandEditsAreReadAndMistakesNamed) {
  const MachineProfileLoad load = ParseMachineProfile(
      "# Windows Server 2003 R2 x64\r\n"
      "[windows]\r\n"
      "version = 5.2.3790\r\n"
      "service_pack =\r\n"
      "suite_mask = 0x4002\r\n"
      "product_type = 3\r\n"
      "server_r2 = 3790\r\n"
      "product_info = lots\r\n"
      "architecture = 0x9\r\n"
      "future_key = kept apart\r\n"
      "version = 6.1\r\n"
      "[network]\r\n"
      "online = maybe\r\n"
      "no equals sign\r\n",
      "m.ini");
  EXPECT_EQ(load.profile.version.majorVersion, 5U);
  EXPECT_EQ(load.profile.version.buildNumber, 3790U);
  EXPECT_EQ(load.profile.version.servicePack, "");
  EXPECT_EQ(load.profile.version.suiteMask, 0x4002);
  EXPECT_EQ(load.profile.version.productType, 3);
  EXPECT_EQ(load.profile.serverR2, 3790);
  EXPECT_EQ(load.profile.architecture, 9);
  EXPECT_EQ(load.profile.productInfo, win::kProductUltimate);  // the bad line left the default
  EXPECT_TRUE(load.profile.online);
  EXPECT_EQ(load.error,
            "m.ini:8: cannot read product_info = lots\n"
            "m.ini:11: cannot read version = 6.1\n"
            "m.ini:13: cannot read online = maybe\n"
            "m.ini:14: expected key = value");
}

TEST(MachineProfileTest, ProgramSettingsDefaultToConfinedAndRefuseDoubt) {
  const MachineProfileLoad defaults = ParseMachineProfile("[windows]\n", "m.ini");
  EXPECT_TRUE(defaults.profile.programsConfined);
  EXPECT_FALSE(defaults.profile.programsNetwork);
  EXPECT_TRUE(defaults.profile.programsReadOnly.empty());

  const MachineProfileLoad load = ParseMachineProfile(
      "[programs]\n"
      "confined = off\n"
      "network = yes\n"
      "read_only = /a ; /b;\n"
      "read_only = /c\n"
      "read_only = relative/tool\n",
      "m.ini");
  // A setting that cannot be read leaves programs confined, and the machine unreadable.
  EXPECT_TRUE(load.profile.programsConfined);
  EXPECT_TRUE(load.profile.programsNetwork);
  EXPECT_EQ(load.profile.programsReadOnly, (std::vector<std::string>{"/a", "/b", "/c"}));
  EXPECT_EQ(load.error,
            "m.ini:2: cannot read confined = off\n"
            "m.ini:6: cannot read read_only = relative/tool");
}

}  // namespace
}  // namespace corvane::emulated
