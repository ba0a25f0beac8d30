#include "config/parse_check_config.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <string_view>
#include <vector>

#include "config_test_machine.h"
#include "platform/environment.h"
#include "platform/platform.h"
#include "platform/system_info.h"
#include "platform/windows_path.h"

namespace corvane {
namespace {

using ::testing::ElementsAre;

std::string DownTmpFile(std::string_view name) {
  return PathJoin(PathJoin(CurrentPlatform().environment().tempFolder(), "DownTmp"), name);
}

std::vector<std::string> EntryTexts(const ConfigSection& section) {
  std::vector<std::string> texts;
  for (const ConfigEntry& entry : section.entries) texts.push_back(entry.text);
  return texts;
}

std::vector<std::string> SectionTypes(const CheckConfig& config) {
  std::vector<std::string> types;
  for (const ConfigSection& section : config.sections) types.push_back(section.type);
  return types;
}

TEST(ParseCheckConfig, SectionsOfOneTypeMergeWhereTheFirstAppeared) {
  const ConfigTestMachine machine;
  CheckConfig config;
  ASSERT_TRUE(ParseCheckConfig(config, R"(<checkitems>
  <config type="host"><entry>a.example</entry></config>
  <config type="registry"><entry name="n" type="reg_dword" value="1" mask="3">HKEY_CURRENT_USER\K</entry></config>
  <config><entry>untyped</entry></config>
  <config type="host"><entry>b.example</entry><entry>c.example</entry></config>
  <config type="Host"><entry>other case</entry></config>
  <item name="x"><config type="host"><entry>nested.example</entry></config></item>
</checkitems>)"));
  EXPECT_TRUE(config.configLoaded);
  EXPECT_THAT(SectionTypes(config), ElementsAre("host", "registry", "", "Host"));
  EXPECT_THAT(EntryTexts(config.sections[0]), ElementsAre("a.example", "b.example", "c.example"));
  const ConfigEntry& reg = config.sections[1].entries.at(0);
  EXPECT_EQ(reg.text, R"(HKEY_CURRENT_USER\K)");
  EXPECT_EQ(reg.name, "n");
  EXPECT_EQ(reg.type, "reg_dword");
  EXPECT_EQ(reg.value, "1");
  EXPECT_EQ(reg.mask, "3");
  EXPECT_EQ(FindSection(config, "host"), &config.sections[0]);
  EXPECT_EQ(FindSection(config, "HOST"), nullptr);
  EXPECT_EQ(FindSection(config, "trust"), nullptr);
}

// Each section type fills only its own fields, whatever attributes an entry carries.
TEST(ParseCheckConfig, EntryAttributesCountOnlyWhereTheirSectionReadsThem) {
  const ConfigTestMachine machine;
  CheckConfig config;
  ASSERT_TRUE(ParseCheckConfig(config, R"(<checkitems>
  <config type="dns"><entry ip="192.0.2.1" mask="9" type="t" value="v">a.example</entry>
                     <entry name="label" ip="192.0.2.2">b.example</entry></config>
  <config type="host"><entry name="n" ip="192.0.2.3" type="t" value="v" mask="1">c.example</entry></config>
  <config type="trust"><entry name="n" value="v">https://c.example/</entry></config>
</checkitems>)"));
  const ConfigSection* dns = FindSection(config, "dns");
  ASSERT_NE(dns, nullptr);
  ASSERT_EQ(dns->entries.size(), 2U);
  EXPECT_EQ(dns->entries[0].text, "a.example");
  EXPECT_EQ(dns->entries[0].value, "192.0.2.1");
  EXPECT_EQ(dns->entries[0].name, "");
  EXPECT_EQ(dns->entries[0].type, "");
  EXPECT_EQ(dns->entries[0].mask, "");
  EXPECT_EQ(dns->entries[1].name, "label");
  EXPECT_EQ(dns->entries[1].value, "192.0.2.2");
  for (const char* type : {"host", "trust"}) {
    SCOPED_TRACE(type);
    const ConfigSection* section = FindSection(config, type);
    ASSERT_NE(section, nullptr);
    const ConfigEntry& entry = section->entries.at(0);
    EXPECT_FALSE(entry.text.empty());
    EXPECT_EQ(entry.name + entry.type + entry.value + entry.mask, "");
  }
}

TEST(ParseCheckConfig, ItemsKeepTheirOrderAndEachKindOfChildItsOwn) {
  const ConfigTestMachine machine;
  CheckConfig config;
  ASSERT_TRUE(ParseCheckConfig(config, R"(<checkitems base="http://h/dir/">
  <appinfo version="2.0"/>
  <component name="c1" type="driver"><detect type="usbkey">096e:0006</detect></component>
  <item name="one" type="SafeActiveX" tips="t" image="i.gif" class="CFeitianUSBKey">
    <installer command="%1 /s">one.exe</installer>
    <detect type="file">f1</detect>
    <file remote="a.cab" version="1.2.3.4" md5="0123" install="regserver">ignored</file>
    <detect type="clsid">{C1}</detect>
    <installer>https://other.example/two.exe</installer>
    <file remote="b.cab"/>
  </item>
  <item name="two"/>
</checkitems>)"));
  ASSERT_EQ(config.items.size(), 2U);
  const CheckItem& one = config.items[0];
  EXPECT_EQ(one.name, "one");
  EXPECT_EQ(one.type, "SafeActiveX");
  EXPECT_EQ(one.tips, "t");
  EXPECT_EQ(one.image, "i.gif");
  EXPECT_EQ(one.className, "CFeitianUSBKey");
  EXPECT_EQ(one.state, kComponentNotDetected);
  ASSERT_EQ(one.detects.size(), 2U);
  EXPECT_EQ(one.detects[0].text, "f1");
  EXPECT_EQ(one.detects[0].type, "file");
  EXPECT_EQ(one.detects[1].text, "{C1}");
  ASSERT_EQ(one.installers.size(), 2U);
  EXPECT_EQ(one.installers[0].url, "http://h/dir/one.exe");
  EXPECT_EQ(one.installers[0].command, "%1 /s");
  EXPECT_EQ(one.installers[0].localPath, DownTmpFile("one.exe"));
  EXPECT_EQ(one.installers[1].url, "https://other.example/two.exe");
  EXPECT_EQ(one.installers[1].localPath, DownTmpFile("two.exe"));
  ASSERT_EQ(one.files.size(), 2U);
  EXPECT_EQ(one.files[0].url, "http://h/dir/a.cab");
  EXPECT_EQ(one.files[0].localPath, DownTmpFile("a.cab"));
  EXPECT_EQ(one.files[0].version, "1.2.3.4");
  EXPECT_EQ(one.files[0].md5, "0123");
  EXPECT_EQ(one.files[0].install, "regserver");
  EXPECT_EQ(one.files[0].text, "ignored");
  EXPECT_EQ(one.files[1].url, "http://h/dir/b.cab");
  EXPECT_EQ(config.items[1].name, "two");
  EXPECT_TRUE(config.items[1].detects.empty());
  ASSERT_EQ(config.components.size(), 1U);
  EXPECT_EQ(config.components[0].name, "c1");
  EXPECT_EQ(config.components[0].detects.at(0).type, "usbkey");
  EXPECT_EQ(config.appInfo.version, "2.0");
}

TEST(ParseCheckConfig, SelectedIdReadsTheLeadingNumber) {
  const ConfigTestMachine machine;
  struct Case {
    std::string_view attribute;  // the whole attribute, or nothing
    std::int32_t selectedId;
  };
  const Case cases[] = {
      {"", 0},
      {R"(selectedid="")", 0},
      {R"(selectedid="12")", 12},
      {R"(selectedid="12abc")", 12},
      {R"(selectedid="abc")", 0},
      {R"(selectedid=" -7x")", -7},
      {R"(selectedid="+3")", 3},
      {R"(selectedid="- 3")", 0},
      {R"(selectedid="99999999999")", INT32_MAX},
      {R"(selectedid="-99999999999")", INT32_MIN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.attribute);
    CheckConfig config;
    ASSERT_TRUE(ParseCheckConfig(
        config, "<checkitems><item " + std::string(c.attribute) + "/></checkitems>"));
    ASSERT_EQ(config.items.size(), 1U);
    EXPECT_EQ(config.items[0].selectedId, c.selectedId);
  }
}

TEST(ResolveUrl, AbsoluteUrlsStayAndNamesFollowBaseDirectly) {
  struct Case {
    std::string_view value, base, url;
  };
  const Case cases[] = {
      {"http://a.example/b.exe", "http://h/dir/", "http://a.example/b.exe"},
      {"x?u=ftp://y", "http://h/", "x?u=ftp://y"},  // "://" anywhere counts
      {"setup.exe", "http://h/dir/", "http://h/dir/setup.exe"},
      {"setup.exe", "http://h/dir", "http://h/dirsetup.exe"},
      {"setup.exe", "", "setup.exe"},
      {"", "http://h/dir/", "http://h/dir/"},
      {"http:/one-slash", "b/", "b/http:/one-slash"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(ResolveUrl(c.value, c.base), c.url);
  }
}

TEST(ParseCheckConfig, InstallerWithoutBaseKeepsItsNameAndDownloadsToDownTmp) {
  const ConfigTestMachine machine;
  CheckConfig config;
  ASSERT_TRUE(ParseCheckConfig(
      config, "<checkitems><item><installer>setup.exe</installer></item></checkitems>"));
  const InstallerSpec& installer = config.items.at(0).installers.at(0);
  EXPECT_EQ(installer.url, "setup.exe");
  EXPECT_EQ(installer.localPath, DownTmpFile("setup.exe"));
}

TEST(ParseCheckConfig, FileLocalPathsAreExpandedOrDerivedFromTheUrl) {
  const ConfigTestMachine machine;
  const std::string root = CurrentPlatform().environment().variable("SystemRoot").value_or("");
  ASSERT_FALSE(root.empty());
  CheckConfig config;
  ASSERT_TRUE(ParseCheckConfig(config, R"(<checkitems base="http://h/dir/"><item>
    <file local="%SystemRoot%\system32\MrbCsp.dll" remote="MrbCsp.dll"/>
    <file/>
  </item></checkitems>)"));
  const std::vector<FileSpec>& files = config.items.at(0).files;
  ASSERT_EQ(files.size(), 2U);
  EXPECT_EQ(files[0].localPath, root + R"(\system32\MrbCsp.dll)");
  EXPECT_EQ(files[0].url, "http://h/dir/MrbCsp.dll");
  // Nothing follows base's last slash: the download still gets a file of its own in DownTmp
  // rather than the folder's own path.
  EXPECT_EQ(files[1].url, "http://h/dir/");
  EXPECT_EQ(files[1].localPath, DownTmpFile("download-aaff289c"));
}

constexpr std::string_view kXp =
    "[windows]\nversion = 5.1.2600\nservice_pack = Service Pack 3\n"
    "service_pack_version = 3.0\nsuite_mask = 0x0100\nproduct_info = none\narchitecture = 0\n";
constexpr std::string_view kWindows7 = "[windows]\nversion = 6.1.7601\n";
constexpr std::string_view kWindows8 = "[windows]\nversion = 6.2.9200\n";

std::vector<std::string> InstallersKept(std::string_view machineIni) {
  const ConfigTestMachine machine(machineIni);
  CheckConfig config;
  EXPECT_TRUE(ParseCheckConfig(config, R"(<checkitems><item>
    <installer>none.exe</installer>
    <installer condition="">empty.exe</installer>
    <installer condition="NT6">nt6.exe</installer>
    <installer condition="NT5">nt5.exe</installer>
    <installer condition="nt6">lower.exe</installer>
    <installer condition="NT6 ">space.exe</installer>
    <installer condition="XP">xp.exe</installer>
  </item></checkitems>)"));
  std::vector<std::string> urls;
  for (const InstallerSpec& installer : config.items.at(0).installers)
    urls.push_back(installer.url);
  return urls;
}

TEST(ParseCheckConfig, InstallerConditionsFollowTheWindowsVersion) {
  if (!ConfigTestMachine::IsEmulated()) GTEST_SKIP() << "the version is the real system's";
  EXPECT_THAT(InstallersKept(kXp), ElementsAre("none.exe", "empty.exe", "nt5.exe"));
  EXPECT_THAT(InstallersKept(kWindows7), ElementsAre("none.exe", "empty.exe", "nt6.exe"));
  EXPECT_THAT(InstallersKept(kWindows8), ElementsAre("none.exe", "empty.exe", "nt6.exe"));
}

TEST(InstallerConditionHolds, AgreesWithTheSystemsMajorVersion) {
  const ConfigTestMachine machine;
  const std::optional<OsVersionInfo> version = CurrentPlatform().systemInfo().VersionEx();
  const bool nt6 = version.has_value() && version->majorVersion >= 6;
  EXPECT_TRUE(InstallerConditionHolds(""));
  EXPECT_EQ(InstallerConditionHolds("NT6"), nt6);
  EXPECT_EQ(InstallerConditionHolds("NT5"), !nt6);
  for (const char* never : {"nt6", "NT6 ", " NT5", "NT7", "nt5"}) {
    EXPECT_FALSE(InstallerConditionHolds(never)) << never;
  }
}

TEST(ParseCheckConfig, TheLastAppInfoWinsWhole) {
  const ConfigTestMachine machine;
  CheckConfig config;
  ASSERT_TRUE(ParseCheckConfig(config, R"(<checkitems>
  <appinfo version="1.0" remote="http://h/old.exe" md5="00112233445566778899aabbccddeeff"/>
  <appinfo version="2.0" remote="http://h/new/Corvane.exe"/>
</checkitems>)"));
  EXPECT_EQ(config.appInfo.version, "2.0");
  EXPECT_EQ(config.appInfo.remote, "http://h/new/Corvane.exe");
  EXPECT_EQ(config.appInfo.md5, "");
  EXPECT_EQ(config.appInfo.localPath, DownTmpFile("Corvane.exe"));

  // A document without appinfo leaves it as it was; base is replaced, even by nothing.
  config.base = "http://old/";
  ASSERT_TRUE(ParseCheckConfig(config, "<checkitems><item/></checkitems>"));
  EXPECT_EQ(config.appInfo.version, "2.0");
  EXPECT_EQ(config.base, "");
}

TEST(ParseCheckConfig, FailedParseLeavesTheModelAsItWas) {
  const ConfigTestMachine machine;
  CheckConfig config;
  ASSERT_TRUE(ParseCheckConfig(config, R"(<checkitems base="http://h/">
  <config type="host"><entry>a.example</entry></config>
  <item name="one"/>
  <appinfo version="1.0.0.0" remote="http://h/Corvane.exe" md5="ab"/>
</checkitems>)"));
  const std::string_view bad[] = {
      "",
      "not xml at all",
      "<other base=\"http://evil/\"><item name=\"x\"/><appinfo version=\"9\"/></other>",
      "<checkitems base=\"http://evil/\"/><checkitems/>",
      "<checkitems base=\"http://evil/\"><item name=\"x\"></checkitems>",
      "<checkitems base=\"http://evil/\"><item name=\"x\"/><",
  };
  for (std::string_view text : bad) {
    SCOPED_TRACE(text);
    config.configLoaded = false;
    EXPECT_FALSE(ParseCheckConfig(config, text));
    EXPECT_FALSE(config.configLoaded);
    EXPECT_EQ(config.base, "http://h/");
    EXPECT_EQ(config.appInfo.version, "1.0.0.0");
    EXPECT_EQ(config.appInfo.md5, "ab");
    EXPECT_THAT(SectionTypes(config), ElementsAre("host"));
    ASSERT_EQ(config.items.size(), 1U);
    EXPECT_EQ(config.items[0].name, "one");
  }
}

TEST(ParseCheckConfig, DoesNotEmptyTheListsItself) {
  const ConfigTestMachine machine;
  CheckConfig config;
  const std::string_view text =
      R"(<checkitems><config type="host"><entry>a</entry></config><item name="i"/></checkitems>)";
  ASSERT_TRUE(ParseCheckConfig(config, text));
  ASSERT_TRUE(ParseCheckConfig(config, text));
  EXPECT_EQ(config.items.size(), 2U);
  ASSERT_EQ(config.sections.size(), 1U);
  EXPECT_THAT(EntryTexts(config.sections[0]), ElementsAre("a", "a"));
}

}  // namespace
}  // namespace corvane
