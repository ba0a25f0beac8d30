#include "platform/replacement_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "files_under_test.h"
#include "platform/file_system.h"
#include "platform/windows_path.h"

namespace corvane {
namespace {

// What a killed process leaves: the new file of a replacement, never committed nor deleted.
// Only files of exactly that naming go; everything else in the folder stays, and so do
// folders of that naming and such files in the folders below.
TEST(ReplacementFileTest, AbandonedNewFilesAreRemovedAndNothingElse) {
  const auto services = testing::MakeServicesUnderTest();
  FileSystem& files = services->files();
  const std::string folder = services->scratch();
  const std::string target = PathJoin(folder, "setup.exe");

  std::string abandoned;
  {
    ReplacementFile replacement(files);
    ASSERT_EQ(replacement.create(target), 0U);
    abandoned = replacement.path();
  }
  ASSERT_TRUE(IsReplacementName(PathFileName(abandoned))) << abandoned;
  // As the killed process left it.
  ASSERT_EQ(files.writeFile(abandoned, "partial"), 0U);
  ASSERT_EQ(files.writeFile(PathJoin(folder, "~cv00C0FFEE.tmp"), "hidden partial",
                            win::kFileAttributeHidden),
            0U);

  const std::vector<std::string> kept = {
      "setup.exe",        "~cv1234567.tmp",  "~cv123456789.tmp", "~cvABCDEFGH.tmp",
      "~cv1111abcd.tmp",  "~CV2222ABCD.tmp", "~cv3333ABCD.TMP",  "~cv0000ABCD.tmp.txt",
      "x~cv0000ABCD.tmp", "~cv-000ABCD.tmp", "notes.txt"};
  for (const std::string& name : kept) {
    ASSERT_EQ(files.writeFile(PathJoin(folder, name), "keep"), 0U) << name;
  }
  ASSERT_EQ(files.createDirectory(PathJoin(folder, "~cv0000ABCD.tmp")), 0U);
  ASSERT_EQ(files.writeFile(PathJoin(folder, R"(~cv0000ABCD.tmp\~cv11112222.tmp)"), "below"), 0U);

  EXPECT_EQ(RemoveAbandonedReplacements(files, folder), 2U);
  EXPECT_FALSE(files.exists(abandoned));
  EXPECT_FALSE(files.exists(PathJoin(folder, "~cv00C0FFEE.tmp")));
  std::vector<FolderEntry> entries;
  ASSERT_EQ(files.listFolder(folder, entries), 0U);
  std::vector<std::string> names;
  for (const FolderEntry& entry : entries) names.push_back(entry.name);
  std::vector<std::string> expected = kept;
  expected.push_back("~cv0000ABCD.tmp");
  std::sort(names.begin(), names.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names, expected);
  EXPECT_TRUE(files.exists(PathJoin(folder, R"(~cv0000ABCD.tmp\~cv11112222.tmp)")));

  // A folder that is not there removes nothing and fails nothing.
  EXPECT_EQ(RemoveAbandonedReplacements(files, PathJoin(folder, "missing")), 0U);
}

}  // namespace
}  // namespace corvane
