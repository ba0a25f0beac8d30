// The bank server's installers, downloaded and run on a scratch emulated PC as the installer
// worker runs them: the served configuration's digests are the served files', and afterwards
// every entry is detected installed, whatever its rules and file requirements ask for.

#include "bank_installers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "components/component_report.h"
#include "components/install_task.h"
#include "config/parse_check_config.h"
#include "platform/emulated/emulated_platform.h"
#include "platform/emulated/scratch_machine.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/windows_path.h"
#include "support/md5.h"

namespace corvane {
namespace {

// Every kind of rule and file the installers handle; stale and missing digests, a name with
// a blank and a quote, an entry without installers whose file is registered.
constexpr std::string_view kConfig = R"(<?xml version="1.0" encoding="utf-8"?>
<checkitems base="http://update.marrowby.example/corvane/">
  <item name="control" type="SafeActiveX">
    <detect type="clsid">{6F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9}</detect>
    <detect type="reg">HKEY_LOCAL_MACHINE,SOFTWARE\Bank's\Control,Version</detect>
    <detect type="reg">HKEY_CURRENT_USER,Software\Bank\Key only,</detect>
    <detect type="file">%ProgramFiles%\Bank\control.ocx</detect>
    <file local="%ProgramFiles%\Bank\helper.dll" version="2.1" md5="0123456789abcdef0123456789abcdef"/>
    <file local="%SystemRoot%\system32\bank.dat"/>
    <installer command="%1 /S" md5="00000000000000000000000000000000">setup.exe</installer>
  </item>
  <item name="driver" type="driver">
    <detect type="clsid">{0A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9}</detect>
    <detect type="clsid">{1A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9}</detect>
    <installer command="&quot;%1&quot;">driver setup.exe</installer>
  </item>
  <component name="registered" type="UkeyActiveX">
    <detect type="clsid">{2A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9}</detect>
    <file remote="reg.ocx" install="regserver"/>
  </component>
</checkitems>
)";

std::string Md5Of(const std::string& bytes) {
  Md5Context md5;
  md5.Update(bytes.data(), bytes.size());
  md5.Final();
  return Md5Hex(md5.digest);
}

class BankInstallersTest : public ::testing::Test {
 protected:
  BankInstallersTest()
      : platform_(std::make_unique<emulated::EmulatedPlatform>(ToolReadable(machine_))) {}

  // The installers run confined and call corvane-machine, which the machine's programs may
  // read only when its settings list it.
  static std::filesystem::path ToolReadable(const emulated::ScratchMachine& machine) {
    const std::filesystem::path root = machine.folder().root();
    std::ofstream(root / "machine.ini", std::ios::app)
        << "\n[programs]\nread_only = " << CORVANE_MACHINE_TOOL << "\n";
    return root;
  }

  const testing::ServedFile* Served(const std::string& url) const {
    const auto found =
        std::find_if(bank_.files.begin(), bank_.files.end(), [&](const testing::ServedFile& file) {
          return url.ends_with(file.path) &&
                 url.size() - file.path.size() ==
                     std::string("http://update.marrowby.example").size();
        });
    return found == bank_.files.end() ? nullptr : &*found;
  }

  // Downloads and runs every task of `list` as the installer worker does.
  void Install(const std::vector<CheckItem>& list) {
    for (const CheckItem& entry : list) {
      for (const InstallTask& task : InstallTasksFor(entry, 0)) {
        SCOPED_TRACE(entry.name + " " + task.url);
        const testing::ServedFile* file = Served(task.url);
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(task.md5, Md5Of(file->body));
        FileSystem& files = CurrentPlatform().files();
        ASSERT_EQ(files.createDirectories(std::string(PathParent(task.downloadPath))), 0U);
        ASSERT_EQ(files.writeFile(task.downloadPath, file->body), 0U);
        EXPECT_EQ(RunInstallTask(task, {}), InstallRun::kStarted);
      }
    }
  }

  emulated::ScratchMachine machine_;
  ScopedPlatform platform_;
  testing::BankInstallers bank_ = testing::MakeBankInstallers(kConfig, CORVANE_MACHINE_TOOL);
};

TEST_F(BankInstallersTest, EveryEntryIsInstalledByWhatTheServedConfigurationNames) {
  CheckConfig config;
  ASSERT_TRUE(ParseCheckConfig(config, bank_.config));
  ASSERT_EQ(config.items.size(), 2U);
  ASSERT_EQ(config.components.size(), 1U);
  // The rest of the document stays as it was.
  EXPECT_NE(bank_.config.find(R"(<installer command="&quot;%1&quot;")"), std::string::npos);
  EXPECT_EQ(bank_.config.find("0123456789abcdef0123456789abcdef"), std::string::npos);

  DetectComponents(config.items);
  DetectComponents(config.components);
  for (const CheckItem& entry : config.items) EXPECT_EQ(entry.state, 5U) << entry.name;
  EXPECT_EQ(config.components[0].state, 5U);

  Install(config.items);
  Install(config.components);
  DetectComponents(config.items);
  DetectComponents(config.components);
  for (const CheckItem& entry : config.items) EXPECT_EQ(entry.state, 0U) << entry.name;
  EXPECT_EQ(config.components[0].state, 0U);
}

TEST_F(BankInstallersTest, DocumentsThatAreNotConfigurationsAreServedAsTheyAre) {
  for (const std::string_view text : {std::string_view("not xml <item"), std::string_view(""),
                                      std::string_view("<other><item name=\"x\"/></other>")}) {
    const auto bank = testing::MakeBankInstallers(text, "/bin/false");
    EXPECT_EQ(bank.config, text);
    EXPECT_TRUE(bank.files.empty());
  }
}

}  // namespace
}  // namespace corvane
