// The hosts-file check and repair on the real system (under Wine: the prefix's own hosts
// file). The file is kept and put back afterwards, whatever the test did.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "checks/environment_checks.h"
#include "checks/hosts_file.h"
#include "platform/file_system.h"
#include "platform/platform.h"

namespace corvane {
namespace {

ConfigEntry Entry(std::string text) {
  ConfigEntry entry;
  entry.text = std::move(text);
  return entry;
}

class RealHostsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = HostsFilePath();
    existed_ = files().readFile(path_, original_) == 0;
    config_.sections.push_back({"host", {Entry("perbank.marrowby.example")}});
  }
  void TearDown() override {
    (void)files().setAttributes(path_, win::kFileAttributeNormal);
    if (existed_) {
      EXPECT_EQ(files().writeFile(path_, original_), 0U);
    } else {
      (void)files().deleteFile(path_);
    }
  }

  static FileSystem& files() { return CurrentPlatform().files(); }
  std::string hosts() {
    std::string text;
    EXPECT_EQ(files().readFile(path_, text), 0U);
    return text;
  }

  std::string path_;
  std::string original_;
  bool existed_ = false;
  CheckConfig config_;
};

TEST_F(RealHostsFileTest, RepairRemovesTheMappingLineOnly) {
  ASSERT_EQ(files().writeFile(path_,
                              "# kept\n127.0.0.1 PerBank.Marrowby.Example # test\n"
                              "127.0.0.1 localhost\n"),
            0U);
  EXPECT_FALSE(CheckHostsFile(config_, false));
  EXPECT_TRUE(CheckHostsFile(config_, true));
  EXPECT_EQ(hosts(), "# kept\r\n127.0.0.1 localhost\r\n");
  EXPECT_TRUE(CheckHostsFile(config_, false));
}

TEST_F(RealHostsFileTest, ReadOnlyOrOpenFileMakesTheRepairFail) {
  const std::string text = "127.0.0.1 perbank.marrowby.example\r\n";
  ASSERT_EQ(files().writeFile(path_, text), 0U);
  {
    // Held open without delete sharing, as an editor or a scanner may hold it.
    std::unique_ptr<File> held;
    ASSERT_EQ(files().open(path_, FileAccess::kRead, FileCreation::kOpenExisting,
                           win::kFileAttributeNormal, held),
              0U);
    EXPECT_FALSE(CheckHostsFile(config_, true));
    EXPECT_FALSE(config_.hostsOk);
  }
  EXPECT_EQ(hosts(), text);
  ASSERT_EQ(files().setAttributes(path_, win::kFileAttributeReadOnly), 0U);
  EXPECT_FALSE(CheckHostsFile(config_, true));
  EXPECT_EQ(hosts(), text);
}

}  // namespace
}  // namespace corvane
