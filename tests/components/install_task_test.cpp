// The installer's tasks and command lines, everywhere.

#include "components/install_task.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(BuildCommandLineTest, QuotesThePathOnceWhereverPercentOneStands) {
  struct Case {
    const char* command;
    const char* expected;
  };
  const Case cases[] = {
      {"%1", R"("C:\t\a b.exe")"},
      {"%1 /sp- /verysilent /norestart", R"("C:\t\a b.exe" /sp- /verysilent /norestart)"},
      {R"("%1")", R"("C:\t\a b.exe")"},
      {R"(%1 "%1")", R"("C:\t\a b.exe" "C:\t\a b.exe")"},
      {"run.exe /x", "run.exe /x"},
      {"", ""},
      {"%", "%"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    EXPECT_EQ(BuildCommandLine(c.command, R"(C:\t\a b.exe)"), c.expected);
  }
  // The path's own "%1" is not replaced again.
  EXPECT_EQ(BuildCommandLine("%1", "C:\\%1"), "\"C:\\%1\"");
}

TEST(InstallTasksForTest, FirstInstallerOnlyElseOneTaskPerFile) {
  CheckItem entry;
  entry.installers = {{"http://u/a.exe", "%1 /s", R"(C:\d\a.exe)", "aa"},
                      {"http://u/b.exe", "%1", R"(C:\d\b.exe)", ""}};
  entry.files = {{"", R"(C:\f.ocx)", "http://u/f.ocx", "", "", "regserver"}};
  std::vector<InstallTask> tasks = InstallTasksFor(entry, 3);
  ASSERT_EQ(tasks.size(), 1U);
  EXPECT_EQ(tasks[0].position, 3);
  EXPECT_EQ(tasks[0].url, "http://u/a.exe");
  EXPECT_EQ(tasks[0].runPath, R"(C:\d\a.exe)");
  EXPECT_EQ(tasks[0].command, "%1 /s");
  EXPECT_EQ(tasks[0].md5, "aa");
  EXPECT_TRUE(tasks[0].action.empty());

  entry.installers.clear();
  entry.files.push_back({"", R"(C:\g.dll)", "", "", "bb", ""});
  entry.files.push_back({"", R"(C:\h.dat)", "http://u/h.dat", "", "", "copy"});
  tasks = InstallTasksFor(entry, 0);
  ASSERT_EQ(tasks.size(), 3U);
  EXPECT_EQ(tasks[0].action, "regserver");
  EXPECT_EQ(tasks[0].registerPath, R"(C:\f.ocx)");
  EXPECT_EQ(tasks[0].downloadPath, R"(C:\f.ocx)");
  // A file without an install attribute becomes a task that runs an empty command line.
  EXPECT_TRUE(tasks[1].action.empty());
  EXPECT_TRUE(tasks[1].command.empty());
  EXPECT_EQ(tasks[1].md5, "bb");
  EXPECT_EQ(tasks[2].action, "copy");
  EXPECT_TRUE(InstallTasksFor(CheckItem{}, 0).empty());
}

}  // namespace
}  // namespace corvane
