#include "config/config_paths.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "config_test_machine.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/windows_path.h"

namespace corvane {
namespace {

std::string DownTmp() { return PathJoin(CurrentPlatform().environment().tempFolder(), "DownTmp"); }

struct NameCase {
  std::string_view url;
  std::string_view name;
};

// Whatever a configuration names, its downloads land directly in DownTmp, under a name
// Windows takes as one plain file.
TEST(DownloadPathFor, EveryUrlGivesAFileDirectlyInDownTmp) {
  const ConfigTestMachine machine;
  const NameCase cases[] = {
      {"http://update.example/corvane/Keyvessel.exe", "Keyvessel.exe"},
      {"setup.exe", "setup.exe"},  // a bare name under an empty base
      {"http://x/setup.exe?x=1#f", "setup.exe"},
      {"http://x/setup.exe?file=../../evil.exe", "setup.exe"},
      {"http://x/setup.exe#/../../evil.exe", "setup.exe"},
      {"http://x/a/../../evil.exe", "evil.exe"},
      {"http://x/..\\..\\evil.exe", "evil.exe"},
      {R"(C:\Windows\system32\evil.dll)", "evil.dll"},
      {R"(\\server\share\evil.exe)", "evil.exe"},
      {"http://x/%2e%2e", "_2e_2e"},
      {"http://x/a:b.exe", "a_b.exe"},  // no alternate data stream
      {"http://x/a<b>c|d\"e*f.exe", "a_b_c_d_e_f.exe"},
      {"http://x/tab\there.exe", "tab_here.exe"},
      {"http://x/evil.exe. . ", "evil.exe"},
      {"http://x/CON", "_CON"},
      {"http://x/nul.exe", "_nul.exe"},
      {"http://x/Com1", "_Com1"},
      {"http://x/LPT9.txt", "_LPT9.txt"},
      {"http://x/aux .txt", "_aux .txt"},
      {"http://x/COM10.exe", "COM10.exe"},  // not a device
      {"http://x/CONSOLE.exe", "CONSOLE.exe"},
      {"http://x/安全控件.exe", "安全控件.exe"},
      // No usable name: a stable name from the URL's MD5.
      {"http://x/", "download-6e8eb82d"},
      {"http://x", "download-94831d84"},
      {"http://x/%2e%2e/", "download-e5092382"},
      {"http://x/..", "download-69850b84"},
  };
  const std::string folder = DownTmp();
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(DownloadFileName(c.url), c.name);
    const std::string path = DownloadPathFor(c.url);
    EXPECT_EQ(PathParent(path), folder);
    EXPECT_EQ(PathFileName(path), c.name);
  }
  EXPECT_TRUE(CurrentPlatform().files().exists(folder));
}

TEST(DownloadPathFor, EmptyUrlGivesNoPathAndCreatesNothing) {
  const ConfigTestMachine machine;
  if (!ConfigTestMachine::IsEmulated()) GTEST_SKIP() << "the real temporary folder is shared";
  EXPECT_EQ(DownloadPathFor(""), "");
  EXPECT_FALSE(CurrentPlatform().files().exists(DownTmp()));
  EXPECT_EQ(DownloadPathFor("a.exe"), PathJoin(DownTmp(), "a.exe"));
  EXPECT_TRUE(CurrentPlatform().files().exists(DownTmp()));
}

TEST(ExpandPathAnsi, ExpandsVariablesAndKeepsLongResultsWhole) {
  const ConfigTestMachine machine;
  const std::string root = CurrentPlatform().environment().variable("SystemRoot").value_or("");
  ASSERT_FALSE(root.empty());
  EXPECT_EQ(ExpandPathAnsi(R"(%SystemRoot%\system32\Encrypt.ocx)"),
            root + R"(\system32\Encrypt.ocx)");
  EXPECT_EQ(ExpandPathAnsi(""), "");
  EXPECT_EQ(ExpandPathAnsi("%CORVANE_UNDEFINED_NAME%\\a"), "%CORVANE_UNDEFINED_NAME%\\a");
  // Longer than the 260 bytes of a fixed buffer: nothing is cut off.
  const std::string tail(300, 'a');
  const std::string expanded = ExpandPathAnsi("%SystemRoot%\\" + tail + "\\end.dll");
  EXPECT_EQ(expanded, root + "\\" + tail + "\\end.dll");
}

}  // namespace
}  // namespace corvane
