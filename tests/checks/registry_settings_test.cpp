// Item 2's registry entries, the policy value and the registry paths, on the emulated PC and
// against the real registry (a scratch key below HKEY_CURRENT_USER; the fixed policy value is
// put back afterwards).

#include "checks/registry_settings.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "checks/registry_path.h"
#include "checks/registry_value_exists.h"
#include "checks_test_machine.h"
#include "platform/win_errors.h"

namespace corvane {
namespace {

constexpr RegistryRoot kHkcu = RegistryRoot::kCurrentUser;
constexpr RegistryRoot kHklm = RegistryRoot::kLocalMachine;
constexpr RegistryRoot kHkcr = RegistryRoot::kClassesRoot;
constexpr const char* kPolicyKey = R"(SOFTWARE\Microsoft\Windows\CurrentVersion\Policies\System)";

TEST(RegistryPath, RootNamesAndSeparators) {
  struct Case {
    const char* text;
    bool comma;
    std::optional<RegistryPath> expected;
  };
  const Case cases[] = {
      {"HKLM\\Software\\X", false, RegistryPath{kHklm, "Software\\X", ""}},
      {"hkey_local_machine\\Software\\X", false, RegistryPath{kHklm, "Software\\X", ""}},
      {"Hkcr\\.txt", false, RegistryPath{kHkcr, ".txt", ""}},
      {"HKEY_CLASSES_ROOT\\", false, RegistryPath{kHkcr, "", ""}},
      {"HKU\\X", false, RegistryPath{kHkcu, "X", ""}},
      {"Foo\\X", false, RegistryPath{kHkcu, "X", ""}},
      {"\\X", false, RegistryPath{kHkcu, "X", ""}},
      {" HKLM\\X", false, RegistryPath{kHkcu, "X", ""}},  // compared exactly
      {"HKLM", false, std::nullopt},
      {"HKLM,Software\\Vendor,Path", true, RegistryPath{kHklm, "Software\\Vendor", "Path"}},
      {"HKLM,Software\\Vendor,", true, RegistryPath{kHklm, "Software\\Vendor", ""}},
      {"hkcu,A,b,c", true, RegistryPath{kHkcu, "A", "b,c"}},
      {"HKCR,,", true, RegistryPath{kHkcr, "", ""}},
      {"HKLM,Software\\Vendor", true, std::nullopt},
      {"HKLM\\Software\\Vendor\\Path", true, std::nullopt},
  };
  for (const Case& c : cases) {
    const std::optional<RegistryPath> path =
        c.comma ? ParseCommaRegistryPath(c.text) : ParseBackslashRegistryPath(c.text);
    ASSERT_EQ(path.has_value(), c.expected.has_value()) << c.text;
    if (!path) continue;
    EXPECT_EQ(path->root, c.expected->root) << c.text;
    EXPECT_EQ(path->subKey, c.expected->subKey) << c.text;
    EXPECT_EQ(path->valueName, c.expected->valueName) << c.text;
  }
}

// One entry against a value set up first, in check mode and then in repair mode.
struct EntryCase {
  const char* what;
  std::optional<TestValue> before;  // the value before the check; nothing: missing
  ConfigEntry entry;                // text: below the scratch key ("" for the key itself)
  bool check;                       // the check's result, which changes nothing
  bool repair;                      // the repair's result
  std::optional<TestValue> after;   // the value after the repair
};

std::u16string Repeat(char16_t unit, std::size_t count) { return std::u16string(count, unit); }

TEST(CheckRegistryEntry, ChecksAndRepairsOneValue) {
  const ChecksTestMachine machine;
  const std::string scratch = "HKCU\\" + machine.scratchKey();
  const std::vector<std::uint8_t> big(513, 0x5A);
  const EntryCase cases[] = {
      {"dword missing", std::nullopt, {"", "v", "reg_dword", "168", ""}, false, true, Dword(168)},
      {"dword equal", Dword(168), {"", "v", "reg_dword", "168", ""}, true, true, Dword(168)},
      {"dword different", Dword(160), {"", "v", "reg_dword", "168", ""}, false, true, Dword(168)},
      {"masked bits differ", Dword(5), {"", "v", "reg_dword", "2", "2"}, false, true, Dword(7)},
      {"masked bits equal", Dword(7), {"", "v", "reg_dword", "0", "8"}, true, true, Dword(7)},
      {"masked, missing", std::nullopt, {"", "v", "reg_dword", "7", "2"}, false, true, Dword(2)},
      {"-1 is every bit",
       Dword(1),
       {"", "v", "reg_dword", "-1", ""},
       false,
       true,
       Dword(0xFFFFFFFF)},
      {"atoi reading",
       std::nullopt,
       {"", "v", "reg_dword", " \t+12abc", ""},
       false,
       true,
       Dword(12)},
      {"a mask without digits is 0",
       Dword(5),
       {"", "v", "reg_dword", "1", "x"},
       true,
       true,
       Dword(5)},
      {"atoi saturates",
       std::nullopt,
       {"", "v", "reg_dword", "99999999999", ""},
       false,
       true,
       Dword(0x7FFFFFFF)},
      {"dword stored as text", Sz(u"0"), {"", "v", "reg_dword", "0", ""}, false, false, Sz(u"0")},
      {"dword of 8 bytes",
       TestValue{win::kRegDword, {0, 0, 0, 0, 0, 0, 0, 0}},
       {"", "v", "reg_dword", "0", ""},
       false,
       false,
       TestValue{win::kRegDword, {0, 0, 0, 0, 0, 0, 0, 0}}},
      {"default value, key missing",
       std::nullopt,
       {"Sub", "", "reg_sz", "", ""},
       false,
       true,
       Sz(u"")},
      {"default value empty", Sz(u""), {"Sub", "", "reg_sz", "", ""}, true, true, Sz(u"")},
      {"text differs in case", Sz(u"Abc"), {"", "s", "reg_sz", "abc", ""}, false, true, Sz(u"abc")},
      {"text in UTF-8", Sz(u"网银"), {"", "s", "reg_sz", "网银", ""}, true, true, Sz(u"网银")},
      {"expandable text counts",
       TestValue{win::kRegExpandSz, Sz(u"%A%").data},
       {"", "s", "reg_sz", "%A%", ""},
       true,
       true,
       TestValue{win::kRegExpandSz, Sz(u"%A%").data}},
      {"511 units fit",
       Sz(Repeat(u'a', 511)),
       {"", "s", "reg_sz", std::string(511, 'a'), ""},
       true,
       true,
       Sz(Repeat(u'a', 511))},
      {"512 units do not",
       Sz(Repeat(u'a', 512)),
       {"", "s", "reg_sz", "b", ""},
       false,
       false,
       Sz(Repeat(u'a', 512))},
      {"text stored as dword", Dword(1), {"", "s", "reg_sz", "1", ""}, false, false, Dword(1)},
      {"binary odd digit ignored",
       std::nullopt,
       {"", "b", "reg_binary", "0a1", ""},
       false,
       true,
       Binary({0x0A})},
      {"binary any case, non-digits 0",
       Binary({0x01}),
       {"", "b", "reg_binary", "aBzz", ""},
       false,
       true,
       Binary({0xAB, 0x00})},
      {"binary equal",
       Binary({0xDE, 0xAD}),
       {"", "b", "reg_binary", "dead", ""},
       true,
       true,
       Binary({0xDE, 0xAD})},
      {"binary longer than wanted",
       Binary({0xDE, 0xAD, 0}),
       {"", "b", "reg_binary", "dead", ""},
       false,
       true,
       Binary({0xDE, 0xAD})},
      {"binary over 512 bytes",
       Binary(big),
       {"", "b", "reg_binary", "00", ""},
       false,
       false,
       Binary(big)},
      {"binary stored as text",
       Sz(u"x"),
       {"", "b", "reg_binary", "00", ""},
       false,
       false,
       Sz(u"x")},
      {"unknown type", std::nullopt, {"", "q", "reg_qword", "1", ""}, false, false, std::nullopt},
      {"type compared exactly",
       std::nullopt,
       {"", "q", "REG_DWORD", "1", ""},
       false,
       false,
       std::nullopt},
  };
  for (const EntryCase& c : cases) {
    SCOPED_TRACE(c.what);
    DeleteTree(kHkcu, machine.scratchKey());
    const std::string key =
        c.entry.text.empty() ? machine.scratchKey() : machine.scratchKey() + "\\" + c.entry.text;
    if (c.before) PutValue(kHkcu, key, c.entry.name, *c.before);
    ConfigEntry entry = c.entry;
    entry.text = "HKCU\\" + key;

    EXPECT_EQ(CheckRegistryEntry(entry, false), c.check);
    EXPECT_EQ(GetValue(kHkcu, key, entry.name), c.before);
    EXPECT_EQ(CheckRegistryEntry(entry, true), c.repair);
    EXPECT_EQ(GetValue(kHkcu, key, entry.name), c.after);
    EXPECT_EQ(CheckRegistryEntry(entry, false), c.repair);
  }
}

TEST(CheckRegistryEntry, RootNamesAddressTheSameKeys) {
  const ChecksTestMachine machine;
  PutValue(kHkcu, machine.scratchKey(), "v", Dword(3));
  for (const std::string root : {"HKCU", "hkey_current_user", "HKU", "Foo"}) {
    EXPECT_TRUE(
        CheckRegistryEntry({root + "\\" + machine.scratchKey(), "v", "reg_dword", "3", ""}, false))
        << root;
  }
  EXPECT_FALSE(
      CheckRegistryEntry({"HKLM\\" + machine.scratchKey(), "v", "reg_dword", "3", ""}, false));
}

TEST(CheckRegistryEntry, CheckModeCreatesNoKey) {
  const ChecksTestMachine machine;
  const std::string key = machine.scratchKey() + "\\A\\B";
  EXPECT_FALSE(CheckRegistryEntry({"HKCU\\" + key, "", "reg_sz", "", ""}, false));
  EXPECT_FALSE(KeyExists(kHkcu, machine.scratchKey()));
  // A repair that cannot write keeps the key it created.
  EXPECT_FALSE(CheckRegistryEntry({"HKCU\\" + key, "", "reg_word", "", ""}, true));
  EXPECT_TRUE(KeyExists(kHkcu, key));
}

TEST(RegistryValueExists, KeysAndValues) {
  const ChecksTestMachine machine;
  const std::string key = machine.scratchKey() + "\\Vendor";
  PutValue(kHkcu, key, "Path", Sz(u"C:\\x"));
  PutValue(kHkcu, key, "a,b", Dword(0));
  PutValue(kHkcu, key, "", Binary({}));
  struct Case {
    std::string location;
    bool exists;
  };
  const Case cases[] = {
      {"HKCU," + key + ",Path", true},
      {"hkey_current_user," + key + ",PATH", true},
      {"HKCU," + key + ",", true},
      {"HKCU," + key + ",a,b", true},
      {"HKCU," + key + ",Missing", false},
      {"HKCU," + key + "\\Missing,", false},
      {"HKCU," + key, false},
      {"HKCU\\" + key + "\\Path", false},
      {"Unknown," + key + ",Path", true},
      {"HKLM," + key + ",Path", false},
  };
  for (const Case& c : cases) EXPECT_EQ(RegistryValueExists(c.location), c.exists) << c.location;
}

// The configuration of the tests below: registry entries below the scratch key, no list.
CheckConfig ConfigWith(std::vector<ConfigEntry> entries) {
  CheckConfig config;
  config.sections.push_back({"registry", std::move(entries)});
  return config;
}

TEST(CheckRegistry, StopsAtTheFirstEntryThatFails) {
  const ChecksTestMachine machine;
  const PreservedValue policy(kHkcu, kPolicyKey, "Disableregistrytools");
  DeleteValue(kHkcu, kPolicyKey, "Disableregistrytools");
  const std::string key = machine.scratchKey();
  const std::string text = "HKCU\\" + key;
  PutValue(kHkcu, key, "second", Sz(u"5"));  // a DWORD is wanted: cannot be written
  CheckConfig config = ConfigWith({{text, "first", "reg_dword", "1", ""},
                                   {text, "second", "reg_dword", "2", ""},
                                   {text, "third", "reg_dword", "3", ""}});
  config.registryOk = true;
  EXPECT_FALSE(CheckRegistry(config, true));
  EXPECT_FALSE(config.registryOk);
  EXPECT_EQ(GetValue(kHkcu, key, "first"), Dword(1));
  EXPECT_EQ(GetValue(kHkcu, key, "second"), Sz(u"5"));
  EXPECT_EQ(GetValue(kHkcu, key, "third"), std::nullopt);

  DeleteValue(kHkcu, key, "second");
  EXPECT_FALSE(CheckRegistry(config, false));
  EXPECT_TRUE(CheckRegistry(config, true));
  EXPECT_TRUE(config.registryOk);
  EXPECT_TRUE(CheckRegistry(config, false));
  EXPECT_EQ(GetValue(kHkcu, key, "third"), Dword(3));
}

TEST(CheckRegistry, ThePolicyThatDisablesTheRegistryTools) {
  const ChecksTestMachine machine;
  const PreservedValue policy(kHkcu, kPolicyKey, "Disableregistrytools");
  struct Case {
    const char* what;
    std::optional<TestValue> value;
    bool check;
    std::optional<TestValue> afterRepair;
  };
  const Case cases[] = {
      {"absent", std::nullopt, true, std::nullopt},
      {"0", Dword(0), true, Dword(0)},
      {"1", Dword(1), false, std::nullopt},
      {"0x100", Dword(0x100), false, std::nullopt},
      {"as text", Sz(u"1"), true, Sz(u"1")},
      {"longer than a DWORD", TestValue{win::kRegDword, {1, 0, 0, 0, 0}}, true,
       TestValue{win::kRegDword, {1, 0, 0, 0, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DeleteValue(kHkcu, kPolicyKey, "Disableregistrytools");
    if (c.value) PutValue(kHkcu, kPolicyKey, "Disableregistrytools", *c.value);
    CheckConfig config;  // no sections: only the policy counts
    EXPECT_EQ(CheckRegistry(config, false), c.check);
    EXPECT_EQ(config.registryOk, c.check);
    EXPECT_EQ(GetValue(kHkcu, kPolicyKey, "Disableregistrytools"), c.value);
    EXPECT_TRUE(CheckRegistry(config, true));
    EXPECT_EQ(GetValue(kHkcu, kPolicyKey, "Disableregistrytools"), c.afterRepair);
    EXPECT_TRUE(CheckRegistry(config, false));
  }
}

}  // namespace
}  // namespace corvane
