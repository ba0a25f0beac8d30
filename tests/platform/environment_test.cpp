#include "platform/environment.h"

#include <gtest/gtest.h>

#include <string>

#include "files_under_test.h"
#include "platform/file_system.h"
#include "platform/win_errors.h"
#include "platform/windows_path.h"

namespace corvane {
namespace {

class EnvironmentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    services_ = testing::MakeServicesUnderTest();
    windir_ = env().variable("windir").value_or("");
    ASSERT_FALSE(windir_.empty());
  }
  void TearDown() override {
    // Leave the scratch folder before it is removed.
    if (!savedDirectory_.empty()) env().setCurrentDirectory(savedDirectory_);
  }

  Environment& env() { return services_->environment(); }
  FileSystem& files() { return services_->files(); }

  std::unique_ptr<testing::ServicesUnderTest> services_;
  std::string windir_;
  std::string savedDirectory_;
};

TEST_F(EnvironmentTest, VariableNamesIgnoreCase) {
  EXPECT_EQ(env().variable("WINDIR"), windir_);
  EXPECT_EQ(env().variable("WinDir"), windir_);
  EXPECT_EQ(env().variable("CORVANE_NO_SUCH_VARIABLE"), std::nullopt);
}

TEST_F(EnvironmentTest, ExpandsLikeExpandEnvironmentStrings) {
  const std::string root = env().variable("SystemRoot").value_or("");
  ASSERT_FALSE(root.empty());
  struct Case {
    std::string text;
    std::string expected;
  };
  const Case cases[] = {
      {"", ""},
      {"no references", "no references"},
      {R"(%SystemRoot%\system32\drivers\etc\hosts)", root + R"(\system32\drivers\etc\hosts)"},
      {"%systemroot%|%SYSTEMROOT%", root + "|" + root},
      // Undefined references stay as written, and so does a lone or trailing %.
      {"%CORVANE_UNDEFINED%", "%CORVANE_UNDEFINED%"},
      {R"(%CORVANE_UNDEFINED%\x)", R"(%CORVANE_UNDEFINED%\x)"},
      {"100%", "100%"},
      {"%", "%"},
      {"50% of %windir", "50% of %windir"},
      // An undefined reference is passed over whole: its closing % opens nothing.
      {"%CORVANE_UNDEFINED%windir%", "%CORVANE_UNDEFINED%windir%"},
      {"%CORVANE_UNDEFINED%%windir%", "%CORVANE_UNDEFINED%" + windir_},
      {"%%windir%", "%%windir%"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(env().expand(c.text), c.expected) << c.text;
  }
}

TEST_F(EnvironmentTest, LongExpansionsAreReturnedWhole) {
  std::string text;
  std::string expected;
  for (int i = 0; i < 60; ++i) {
    text += R"(%windir%\)";
    expected += windir_ + "\\";
  }
  ASSERT_GT(expected.size(), 260U);
  EXPECT_EQ(env().expand(text), expected);
}

TEST_F(EnvironmentTest, TempFolderEndsWithBackslashAndExists) {
  const std::string temp = env().tempFolder();
  ASSERT_GE(temp.size(), 4U);
  EXPECT_EQ(temp.back(), '\\');
  EXPECT_EQ(temp[1], ':');
  EXPECT_TRUE(files().exists(temp)) << temp;
}

TEST_F(EnvironmentTest, ModulePathIsAFullProgramPathInAnExistingFolder) {
  const std::string module = env().modulePath();
  ASSERT_GT(module.size(), 7U);
  EXPECT_EQ(module.substr(1, 2), ":\\") << module;
  EXPECT_TRUE(EqualsIgnoringCase(module.substr(module.size() - 4), ".exe")) << module;
  EXPECT_TRUE(files().exists(PathParent(module))) << module;
}

TEST_F(EnvironmentTest, CurrentDirectoryAnchorsRelativePaths) {
  savedDirectory_ = env().currentDirectory();
  const std::string scratch = services_->scratch();
  ASSERT_EQ(env().setCurrentDirectory(scratch), win::kErrorSuccess);
  EXPECT_TRUE(EqualsIgnoringCase(env().currentDirectory(), scratch) ||
              EqualsIgnoringCase(env().currentDirectory(), scratch + "\\"))
      << env().currentDirectory();

  ASSERT_EQ(files().writeFile("item.xml", "cached"), win::kErrorSuccess);
  EXPECT_TRUE(files().exists(PathJoin(scratch, "item.xml")));
  EXPECT_TRUE(files().exists(".\\item.xml"));

  ASSERT_EQ(files().createDirectory("sub"), win::kErrorSuccess);
  ASSERT_EQ(env().setCurrentDirectory("sub"), win::kErrorSuccess);
  EXPECT_FALSE(files().exists("item.xml"));
  EXPECT_TRUE(files().exists("..\\item.xml"));

  EXPECT_EQ(env().setCurrentDirectory(PathJoin(scratch, "missing")), win::kErrorFileNotFound);
  EXPECT_EQ(env().setCurrentDirectory(PathJoin(scratch, "item.xml")), win::kErrorDirectory);
  EXPECT_TRUE(EqualsIgnoringCase(PathFileName(env().currentDirectory()), "sub") ||
              EqualsIgnoringCase(env().currentDirectory(), PathJoin(scratch, "sub\\")));
}

}  // namespace
}  // namespace corvane
