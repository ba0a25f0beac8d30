#include "platform/resources.h"

#include <gtest/gtest.h>

#include <string>

#include "resources_under_test.h"

namespace corvane {
namespace {

std::string Text(const std::vector<std::uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

TEST(ResourcesTest, FindsResourcesByNumberOrNameInAnyCase) {
  const auto resources = MakeResourcesUnderTest();
  struct Case {
    ResourceId name;
    ResourceId type;
    std::string expected;  // empty: missing
  };
  const Case cases[] = {
      {"HELLO.TXT", "TESTDATA", "hello, resources\n"},
      {"hello.txt", "TestData", "hello, resources\n"},
      {7, win::kRtHtml, "hello, resources\n"},
      {"#7", "#23", "hello, resources\n"},
      {"7", win::kRtHtml, ""},  // the name "7" is not the number 7
      {"HELLO.TXT", "OTHER", ""},
      {"MISSING", "TESTDATA", ""},
      {"EMPTY", "TESTDATA", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Text(resources->Load(c.name, c.type)), c.expected)
        << c.name.name() << c.name.number() << "/" << c.type.name() << c.type.number();
  }
}

TEST(ResourcesTest, CarriesTheManifestThatAsksForAdministratorRights) {
  const std::string manifest = Text(MakeResourcesUnderTest()->Load(1, win::kRtManifest));
  EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos) << manifest;
  EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  EXPECT_NE(manifest.find("<dpiAware"), std::string::npos);
}

TEST(ResourcesTest, LoadsStringsOfTheStringTable) {
  const auto resources = MakeResourcesUnderTest();
  EXPECT_EQ(resources->LoadTableString(136), "Marrowby银行网银助手");
  EXPECT_EQ(resources->LoadTableString(60001), "第一行\n\"second\" line\\");
  EXPECT_EQ(resources->LoadTableString(60002), "");
}

}  // namespace
}  // namespace corvane
