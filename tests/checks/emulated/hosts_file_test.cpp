// The hosts-file check and repair on an emulated PC, whose hosts file a test can write,
// make read-only or replace by a folder, and whose name resolution reads that same file.

#include "checks/hosts_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "checks/environment_checks.h"
#include "checks/network_checks.h"
#include "emulated/scratch_machine.h"
#include "platform/emulated/emulated_platform.h"
#include "platform/file_system.h"
#include "platform/platform.h"

namespace corvane {
namespace {

constexpr const char* kHostsPath = R"(C:\Windows\System32\drivers\etc\hosts)";

ConfigEntry Entry(std::string text, std::string value = {}) {
  ConfigEntry entry;
  entry.text = std::move(text);
  entry.value = std::move(value);
  return entry;
}

// A scratch PC whose names resolve only through its hosts file and network.ini (the bank's
// names to addresses the configuration allows), so that no test reaches the real resolver.
class HostsFileTest : public ::testing::Test {
 protected:
  HostsFileTest() {
    std::ofstream(machine_.folder().root() / "network.ini")
        << "[resolve]\n"
           "perbank.marrowby.example = 192.0.2.10\n"
           "corbank.marrowby.example = 192.0.2.20\n";
    platform_ = std::make_unique<ScopedPlatform>(
        std::make_unique<emulated::EmulatedPlatform>(machine_.folder().root()));
    config_.sections.push_back(
        {"host", {Entry("perbank.marrowby.example"), Entry("corbank.marrowby.example")}});
    config_.sections.push_back({"dns",
                                {Entry("perbank.marrowby.example", "192.0.2.10"),
                                 Entry("corbank.marrowby.example", "192.0.2.20")}});
  }

  static std::string hosts() {
    std::string text;
    EXPECT_EQ(CurrentPlatform().files().readFile(kHostsPath, text), 0U);
    return text;
  }
  static void setHosts(std::string_view text) {
    ASSERT_EQ(CurrentPlatform().files().writeFile(kHostsPath, text), 0U);
  }
  // Files in the hosts file's folder: a failed repair leaves nothing beside it.
  static std::size_t filesBeside() {
    const auto folder = dynamic_cast<emulated::EmulatedPlatform&>(CurrentPlatform())
                            .emulatedFiles()
                            .hostPath(R"(C:\Windows\System32\drivers\etc)");
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                                  std::filesystem::directory_iterator()));
  }

  emulated::ScratchMachine machine_;
  std::unique_ptr<ScopedPlatform> platform_;
  CheckConfig config_;
};

TEST_F(HostsFileTest, NewMachinePassesAndItsFileIsWindows7s) {
  const std::string text = hosts();
  EXPECT_TRUE(text.starts_with("# Copyright (c) 1993-2009 Microsoft Corp.\r\n"));
  EXPECT_TRUE(text.ends_with("#\t127.0.0.1       localhost\r\n#\t::1             localhost\r\n"));
  EXPECT_TRUE(CheckHostsFile(config_, false));
  EXPECT_TRUE(config_.hostsOk);
}

TEST_F(HostsFileTest, RepairRemovesTheMappingLineOnlyAndNameResolutionFollows) {
  const std::string original = hosts();
  setHosts(original + "10.0.0.1 intranet\r\n127.0.0.1 PerBank.Marrowby.Example # test\r\n" +
           "192.0.2.10 perbank.marrowby.example.other\r\n192.0.2.10 perbank.marrowby.example\r\n" +
           "192.0.2.20 corbank.marrowby.example\r\n");
  EXPECT_FALSE(CheckHostsFile(config_, false));
  EXPECT_FALSE(config_.hostsOk);

  // The hosts file also steers the PC's own resolver: the bank's name goes to 127.0.0.1.
  EXPECT_EQ(ResolveHost("perbank.marrowby.example"),
            (std::vector<std::string>{"127.0.0.1", "192.0.2.10"}));
  EXPECT_FALSE(CheckNameResolution(config_));

  EXPECT_TRUE(CheckHostsFile(config_, true));
  EXPECT_TRUE(config_.hostsOk);
  // Every mapping of a configured name is gone, nothing else; name resolution was checked
  // again and now meets no mapping at all.
  EXPECT_EQ(hosts(),
            original + "10.0.0.1 intranet\r\n192.0.2.10 perbank.marrowby.example.other\r\n");
  EXPECT_TRUE(config_.dnsOk);
  EXPECT_TRUE(CheckHostsFile(config_, false));
}

TEST_F(HostsFileTest, RepairNeitherGrowsTheFileNorWritesWithoutCause) {
  setHosts("a\nb\r\n\n127.0.0.1 x");
  EXPECT_TRUE(CheckHostsFile(config_, true));
  EXPECT_EQ(hosts(), "a\r\nb\r\n\r\n127.0.0.1 x\r\n");
  EXPECT_TRUE(CheckHostsFile(config_, true));
  EXPECT_EQ(hosts(), "a\r\nb\r\n\r\n127.0.0.1 x\r\n");
  // Already as a repair would write it: a read-only file is not even touched.
  ASSERT_EQ(CurrentPlatform().files().setAttributes(kHostsPath, win::kFileAttributeReadOnly), 0U);
  EXPECT_TRUE(CheckHostsFile(config_, true));
}

TEST_F(HostsFileTest, ReadOnlyFileMakesTheRepairFailAndStays) {
  const std::string text = "127.0.0.1 perbank.marrowby.example\r\n";
  setHosts(text);
  const std::size_t before = filesBeside();
  ASSERT_EQ(CurrentPlatform().files().setAttributes(kHostsPath, win::kFileAttributeReadOnly), 0U);
  EXPECT_FALSE(CheckHostsFile(config_, true));
  EXPECT_FALSE(config_.hostsOk);
  EXPECT_EQ(hosts(), text);
  EXPECT_EQ(filesBeside(), before);
}

TEST_F(HostsFileTest, HiddenSystemFileKeepsItsAttributes) {
  setHosts("127.0.0.1 perbank.marrowby.example\r\n# kept\r\n");
  const std::uint32_t bits = win::kFileAttributeHidden | win::kFileAttributeSystem;
  ASSERT_EQ(CurrentPlatform().files().setAttributes(kHostsPath, bits), 0U);
  EXPECT_TRUE(CheckHostsFile(config_, true));
  EXPECT_EQ(hosts(), "# kept\r\n");
  std::uint32_t attributes = 0;
  ASSERT_EQ(CurrentPlatform().files().attributes(kHostsPath, attributes), 0U);
  EXPECT_EQ(attributes & bits, bits);
}

TEST_F(HostsFileTest, MissingOrUnreadableFile) {
  FileSystem& files = CurrentPlatform().files();
  ASSERT_EQ(files.deleteFile(kHostsPath), 0U);
  EXPECT_TRUE(CheckHostsFile(config_, false));
  EXPECT_TRUE(CheckHostsFile(config_, true));  // nothing maps the names; nothing is created
  EXPECT_FALSE(files.exists(kHostsPath));

  // A hosts "file" that cannot be opened: the check sees nothing, the repair fails and
  // replaces nothing.
  ASSERT_EQ(files.createDirectory(kHostsPath), 0U);
  EXPECT_TRUE(CheckHostsFile(config_, false));
  EXPECT_FALSE(CheckHostsFile(config_, true));
  EXPECT_FALSE(config_.hostsOk);
  std::uint32_t attributes = 0;
  ASSERT_EQ(files.attributes(kHostsPath, attributes), 0U);
  EXPECT_NE(attributes & win::kFileAttributeDirectory, 0U);
}

TEST_F(HostsFileTest, WithoutHostSectionEverythingPasses) {
  setHosts("127.0.0.1 perbank.marrowby.example\r\n");
  config_.sections.clear();
  EXPECT_TRUE(CheckHostsFile(config_, false));
  EXPECT_TRUE(CheckHostsFile(config_, true));
  EXPECT_EQ(hosts(), "127.0.0.1 perbank.marrowby.example\r\n");
}

}  // namespace
}  // namespace corvane
