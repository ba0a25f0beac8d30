#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "bank/bank_values.h"
#include "platform/platform.h"
#include "update/self_update.h"

#if !defined(_WIN32)
#include "platform/emulated/emulated_platform.h"
#include "platform/emulated/scratch_machine.h"

namespace corvane {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A scratch emulated PC installed as the process's platform.
class SiteLaunchTest : public ::testing::Test {
 protected:
  void Install() {
    installed_ = std::make_unique<ScopedPlatform>(
        std::make_unique<emulated::EmulatedPlatform>(machine_.folder().root()));
  }
  [[nodiscard]] std::filesystem::path startLog() const {
    return machine_.folder().root() / "processes.log";
  }
  [[nodiscard]] std::filesystem::path machineIni() const { return machine_.folder().machineIni(); }

 private:
  emulated::ScratchMachine machine_;
  std::unique_ptr<ScopedPlatform> installed_;
};

TEST_F(SiteLaunchTest, CommandLineQuotesThe32BitBrowserAndAppendsTheSiteWithoutABlank) {
  Install();  // the default machine: 64-bit Windows 7
  EXPECT_EQ(SiteCommandLine(),
            std::string(R"("C:\Program Files (x86)\Internet Explorer\iexplore.exe")") +
                std::string(bank::kPublicSiteUrl));
}

TEST_F(SiteLaunchTest, CommandLineOn32BitWindowsNamesTheOnlyProgramFolder) {
  std::ofstream(machineIni()) << "[windows]\narchitecture = 0\n";
  Install();
  EXPECT_EQ(SiteCommandLine(), std::string(R"("C:\Program Files\Internet Explorer\iexplore.exe")") +
                                   std::string(bank::kPublicSiteUrl));
}

TEST_F(SiteLaunchTest, EachLaunchRecordsOneStartWithExactlyTheCommandLine) {
  Install();
  const std::string line = SiteCommandLine();
  EXPECT_TRUE(launchAsDesktopUser(line));
  EXPECT_TRUE(launchAsDesktopUser(line));  // a second click starts a second browser
  EXPECT_EQ(ReadFile(startLog()), line + "\n" + line + "\n");
}

TEST_F(SiteLaunchTest, AStartThatCannotHappenIsAFailureAndRecordsNothing) {
  Install();
  EXPECT_FALSE(launchAsDesktopUser(""));
  EXPECT_FALSE(launchAsDesktopUser("  \t"));
  EXPECT_FALSE(launchAsDesktopUser("\"C:\\a.exe\"\nforged start"));
  EXPECT_FALSE(std::filesystem::exists(startLog()));

  // The machine cannot record the start: not started, so not a success.
  std::filesystem::create_directory(startLog());
  EXPECT_FALSE(launchAsDesktopUser(SiteCommandLine()));
}

}  // namespace
}  // namespace corvane
#endif
