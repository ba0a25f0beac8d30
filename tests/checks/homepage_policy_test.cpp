// Item 9 on the emulated PC and on Wine's registry.

#include <gtest/gtest.h>

#include "checks/browser_settings.h"
#include "checks_test_machine.h"

namespace corvane {
namespace {

constexpr std::string_view kPolicyKey =
    R"(SOFTWARE\Policies\Microsoft\Internet Explorer\Control Panel)";

TEST(CheckHomepagePolicy, OnlyANonZeroFourByteDwordIsThePolicyAndTheRepairDeletesIt) {
  ChecksTestMachine machine;
  PreservedValue preserved(RegistryRoot::kCurrentUser, std::string(kPolicyKey), "Homepage");
  struct Case {
    const char* name;
    std::optional<TestValue> value;
    bool on;
  };
  const Case cases[] = {
      {"missing", std::nullopt, false},
      {"dword 0", Dword(0), false},
      {"dword 1", Dword(1), true},
      {"dword with only the top byte", Dword(0x01000000), true},
      {"string \"1\"", Sz(u"1"), false},
      {"eight bytes of binary", Binary({1, 0, 0, 0, 0, 0, 0, 0}), false},
      {"four bytes of binary", Binary({1, 0, 0, 0}), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeleteValue(RegistryRoot::kCurrentUser, kPolicyKey, "Homepage");
    if (c.value) PutValue(RegistryRoot::kCurrentUser, kPolicyKey, "Homepage", *c.value);
    CheckConfig config;
    EXPECT_EQ(CheckHomepagePolicy(config, false), !c.on);
    EXPECT_EQ(config.homepageOk, !c.on);
    EXPECT_EQ(GetValue(RegistryRoot::kCurrentUser, kPolicyKey, "Homepage"), c.value)
        << "check mode changes nothing";
    EXPECT_TRUE(CheckHomepagePolicy(config, true));
    EXPECT_TRUE(config.homepageOk);
    // The repair deletes the policy and leaves a value that is no policy alone.
    EXPECT_EQ(GetValue(RegistryRoot::kCurrentUser, kPolicyKey, "Homepage"),
              c.on ? std::nullopt : c.value);
  }
}

}  // namespace
}  // namespace corvane
