// Registry behaviour the checks rely on, run against the emulated PC natively and against
// the real registry under Wine.

#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win_errors.h"
#include "registry_under_test.h"

namespace corvane {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint32_t kReadWrite = win::kKeyRead | win::kKeyWrite;
constexpr RegistryRoot kHkcu = RegistryRoot::kCurrentUser;

class RegistryTest : public ::testing::Test {
 protected:
  RegistryKey Create(const std::string& below = {}) {
    RegistryKey key;
    const std::string path = below.empty() ? scratch() : scratch() + "\\" + below;
    EXPECT_EQ(registry().CreateKey(kHkcu, path, kReadWrite, key), win::kErrorSuccess) << path;
    return key;
  }
  std::uint32_t Open(const std::string& below, RegistryKey& key,
                     std::uint32_t access = kReadWrite) {
    const std::string path = below.empty() ? scratch() : scratch() + "\\" + below;
    return registry().OpenKey(kHkcu, path, access, key);
  }
  Registry& registry() { return under_->registry(); }
  const std::string& scratch() { return under_->scratch(); }

  std::unique_ptr<RegistryUnderTest> under_ = MakeRegistryUnderTest();
};

// Strings stored without their NUL are left out: Windows may add one by peeking at the
// character after the data it was given.
TEST_F(RegistryTest, EveryValueTypeKeepsItsTypeAndBytes) {
  struct Case {
    const char* name;
    std::uint32_t type;
    Bytes data;
  };
  const Case cases[] = {
      {"sz", win::kRegSz, {'a', 0, 0x51, 0x7F, 0, 0}},  // "a网" in UTF-16LE with its NUL
      {"expand", win::kRegExpandSz, {'%', 0, 'X', 0, '%', 0, 0, 0}},
      {"binary", win::kRegBinary, {0x00, 0xFF, 0x10, 0x0A}},
      {"empty binary", win::kRegBinary, {}},
      {"dword", win::kRegDword, {0x78, 0x56, 0x34, 0x12}},
      {"multi", win::kRegMultiSz, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}},
      {"qword", win::kRegQword, {1, 2, 3, 4, 5, 6, 7, 8}},
      {"none", win::kRegNone, {}},
      {"odd type", 0x4242, {9}},
  };
  RegistryKey key = Create();
  for (const Case& c : cases) {
    ASSERT_EQ(key.SetValue(c.name, c.type, c.data), win::kErrorSuccess) << c.name;
  }
  RegistryKey again;
  ASSERT_EQ(Open("", again, win::kKeyRead), win::kErrorSuccess);
  for (const Case& c : cases) {
    std::uint32_t type = 0xFFFF;
    Bytes data;
    EXPECT_EQ(again.ReadValue(c.name, type, data), win::kErrorSuccess) << c.name;
    EXPECT_EQ(type, c.type) << c.name;
    EXPECT_EQ(data, c.data) << c.name;
  }
}

TEST_F(RegistryTest, NamesIgnoreCaseAndKeepTheirSpelling) {
  RegistryKey key = Create("MixedCase");
  ASSERT_EQ(key.SetDword("SecureProtocols", 168), win::kErrorSuccess);
  ASSERT_EQ(key.SetDword("SECUREPROTOCOLS", 160), win::kErrorSuccess);  // the same value

  RegistryKey lower;
  ASSERT_EQ(Open("mixedcase", lower), win::kErrorSuccess);
  std::uint32_t value = 0;
  EXPECT_EQ(lower.ReadDword("secureprotocols", value), win::kErrorSuccess);
  EXPECT_EQ(value, 160U);
  std::vector<std::string> names;
  ASSERT_EQ(lower.ValueNames(names), win::kErrorSuccess);
  EXPECT_EQ(names, std::vector<std::string>{"SecureProtocols"});

  RegistryKey parent;
  ASSERT_EQ(Open("", parent), win::kErrorSuccess);
  ASSERT_EQ(parent.SubKeyNames(names), win::kErrorSuccess);
  EXPECT_EQ(names, std::vector<std::string>{"MixedCase"});
}

TEST_F(RegistryTest, MissingKeyAndMissingValueAreBothFileNotFound) {
  RegistryKey key;
  EXPECT_EQ(Open("Absent", key), win::kErrorFileNotFound);
  EXPECT_FALSE(key.isOpen());
  EXPECT_EQ(registry().DeleteKey(kHkcu, scratch() + "\\Absent"), win::kErrorFileNotFound);

  key = Create();
  RegistryValueInfo info;
  std::string text;
  std::uint32_t number = 0;
  EXPECT_EQ(key.ProbeValue("Absent", info), win::kErrorFileNotFound);
  EXPECT_EQ(key.ReadString("Absent", text), win::kErrorFileNotFound);
  EXPECT_EQ(key.ReadDword("Absent", number), win::kErrorFileNotFound);
  EXPECT_EQ(key.DeleteValue("Absent"), win::kErrorFileNotFound);
  // A key's default value exists only once it is set, even to an empty string.
  EXPECT_EQ(key.ReadString("", text), win::kErrorFileNotFound);
  ASSERT_EQ(key.SetString("", ""), win::kErrorSuccess);
  text = "x";
  EXPECT_EQ(key.ReadString("", text), win::kErrorSuccess);
  EXPECT_EQ(text, "");
}

TEST_F(RegistryTest, SizeProbeAndShortBuffers) {
  RegistryKey key = Create();
  ASSERT_EQ(key.SetString("Version", "8.0"), win::kErrorSuccess);  // 3 units and a NUL

  RegistryValueInfo info;
  ASSERT_EQ(key.ProbeValue("Version", info), win::kErrorSuccess);
  EXPECT_EQ(info.type, win::kRegSz);
  EXPECT_EQ(info.size, 8U);

  Bytes small(7, 0xEE);
  info = {};
  EXPECT_EQ(key.QueryValue("Version", small, info), win::kErrorMoreData);
  EXPECT_EQ(info.size, 8U);  // what it would take

  Bytes exact(8);
  ASSERT_EQ(key.QueryValue("Version", exact, info), win::kErrorSuccess);
  EXPECT_EQ(exact, (Bytes{'8', 0, '.', 0, '0', 0, 0, 0}));

  Bytes large(512, 0xEE);
  ASSERT_EQ(key.QueryValue("Version", large, info), win::kErrorSuccess);
  EXPECT_EQ(info.size, 8U);

  ASSERT_EQ(key.SetValue("Empty", win::kRegBinary, {}), win::kErrorSuccess);
  EXPECT_EQ(key.QueryValue("Empty", {}, info), win::kErrorSuccess);
  EXPECT_EQ(info.size, 0U);
}

TEST_F(RegistryTest, TypedReadsRefuseOtherTypes) {
  RegistryKey key = Create();
  ASSERT_EQ(key.SetString("Text", "1"), win::kErrorSuccess);
  ASSERT_EQ(key.SetDword("Number", 1), win::kErrorSuccess);
  const Bytes eightBytes(8, 1);
  ASSERT_EQ(key.SetValue("LongDword", win::kRegDword, eightBytes), win::kErrorSuccess);
  ASSERT_EQ(key.SetString("Expand", "%TEMP%", win::kRegExpandSz), win::kErrorSuccess);

  std::uint32_t number = 7;
  std::string text = "unchanged";
  EXPECT_EQ(key.ReadDword("Text", number), win::kErrorUnsupportedType);
  EXPECT_EQ(key.ReadDword("LongDword", number), win::kErrorUnsupportedType);
  EXPECT_EQ(number, 7U);
  EXPECT_EQ(key.ReadString("Number", text), win::kErrorUnsupportedType);
  EXPECT_EQ(text, "unchanged");
  EXPECT_EQ(key.ReadString("Expand", text), win::kErrorSuccess);
  EXPECT_EQ(text, "%TEMP%");
}

TEST_F(RegistryTest, UnicodeTextRoundTrips) {
  RegistryKey key = Create("网银");
  const std::string text = "Marrowby\xE9\x93\xB6\xE8\xA1\x8C \xF0\x9F\x98\x80";  // with a pair
  ASSERT_EQ(key.SetString("名称", text), win::kErrorSuccess);
  RegistryKey again;
  ASSERT_EQ(Open("网银", again), win::kErrorSuccess);
  std::string read;
  EXPECT_EQ(again.ReadString("名称", read), win::kErrorSuccess);
  EXPECT_EQ(read, text);
}

TEST_F(RegistryTest, CreateMakesParentsAndReportsWhetherTheKeyWasNew) {
  RegistryKey key;
  bool created = false;
  ASSERT_EQ(registry().CreateKey(kHkcu, scratch() + "\\A\\B\\C", kReadWrite, key, &created),
            win::kErrorSuccess);
  EXPECT_TRUE(created);
  ASSERT_EQ(registry().CreateKey(kHkcu, scratch() + "\\a\\b\\c", kReadWrite, key, &created),
            win::kErrorSuccess);
  EXPECT_FALSE(created);
  RegistryKey middle;
  EXPECT_EQ(Open("A\\B", middle), win::kErrorSuccess);
}

TEST_F(RegistryTest, DeleteKeyRefusesAKeyWithSubKeys) {
  Create("Parent\\Child");
  EXPECT_EQ(registry().DeleteKey(kHkcu, scratch() + "\\Parent"), win::kErrorAccessDenied);
  RegistryKey key;
  EXPECT_EQ(Open("Parent\\Child", key), win::kErrorSuccess);
  key.Close();

  EXPECT_EQ(registry().DeleteKey(kHkcu, scratch() + "\\PARENT\\child"), win::kErrorSuccess);
  EXPECT_EQ(registry().DeleteKey(kHkcu, scratch() + "\\Parent"), win::kErrorSuccess);
  EXPECT_EQ(Open("Parent", key), win::kErrorFileNotFound);
}

TEST_F(RegistryTest, AccessIsLimitedToWhatTheKeyWasOpenedFor) {
  Create().SetDword("Flags", 1);
  RegistryKey readOnly;
  ASSERT_EQ(Open("", readOnly, win::kKeyRead), win::kErrorSuccess);
  EXPECT_EQ(readOnly.SetDword("Flags", 0), win::kErrorAccessDenied);
  EXPECT_EQ(readOnly.DeleteValue("Flags"), win::kErrorAccessDenied);
  std::uint32_t flags = 0;
  EXPECT_EQ(readOnly.ReadDword("Flags", flags), win::kErrorSuccess);
  EXPECT_EQ(flags, 1U);

  RegistryKey writeOnly;
  ASSERT_EQ(Open("", writeOnly, win::kKeyWrite), win::kErrorSuccess);
  EXPECT_EQ(writeOnly.ReadDword("Flags", flags), win::kErrorAccessDenied);
}

TEST_F(RegistryTest, DeletedValuesAndKeysAreGone) {
  RegistryKey key = Create("Gone");
  ASSERT_EQ(key.SetDword("Disableregistrytools", 1), win::kErrorSuccess);
  ASSERT_EQ(key.DeleteValue("DISABLEREGISTRYTOOLS"), win::kErrorSuccess);
  RegistryValueInfo info;
  EXPECT_EQ(key.ProbeValue("Disableregistrytools", info), win::kErrorFileNotFound);

  // A handle to a key deleted meanwhile stays safe to use and says what happened.
  ASSERT_EQ(registry().DeleteKey(kHkcu, scratch() + "\\Gone"), win::kErrorSuccess);
  EXPECT_EQ(key.SetDword("Late", 1), win::kErrorKeyDeleted);
  EXPECT_EQ(key.ProbeValue("Late", info), win::kErrorKeyDeleted);
}

TEST_F(RegistryTest, ClosedKeysFailQuietly) {
  RegistryKey key;
  RegistryValueInfo info;
  EXPECT_EQ(key.ProbeValue("x", info), win::kErrorInvalidHandle);
  EXPECT_EQ(key.SetDword("x", 1), win::kErrorInvalidHandle);
}

TEST_F(RegistryTest, EmptySubKeyOpensTheRootItself) {
  RegistryKey root;
  ASSERT_EQ(registry().OpenKey(kHkcu, "", win::kKeyRead, root), win::kErrorSuccess);
  std::vector<std::string> names;
  ASSERT_EQ(root.SubKeyNames(names), win::kErrorSuccess);
  bool hasSoftware = false;
  for (const std::string& name : names) hasSoftware = hasSoftware || name == "Software";
  EXPECT_TRUE(hasSoftware);
}

// SHRegGetUSValue: the user's value first, the machine's when the user has none or is not
// asked.
TEST_F(RegistryTest, UserSpecificValuesComeFromTheUserUnlessIgnored) {
  RegistryKey key = Create();
  ASSERT_EQ(key.SetString("Version", "user"), win::kErrorSuccess);
  Bytes buffer(200);
  RegistryValueInfo info;
  ASSERT_EQ(registry().QueryUserSpecificValue(scratch(), "Version", false, buffer, info),
            win::kErrorSuccess);
  EXPECT_EQ(info.type, win::kRegSz);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + info.size),
            (Bytes{'u', 0, 's', 0, 'e', 0, 'r', 0, 0, 0}));
  // Only the user has this key.
  EXPECT_NE(registry().QueryUserSpecificValue(scratch(), "Version", true, buffer, info),
            win::kErrorSuccess);
  EXPECT_NE(registry().QueryUserSpecificValue(scratch(), "Missing", false, buffer, info),
            win::kErrorSuccess);
  Bytes small(4);
  EXPECT_EQ(registry().QueryUserSpecificValue(scratch(), "Version", false, small, info),
            win::kErrorMoreData);

  // The machine's value, as the machine's key holds it.
  constexpr const char* kMachineKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
  RegistryKey machine;
  ASSERT_EQ(registry().OpenKey(RegistryRoot::kLocalMachine, kMachineKey, win::kKeyRead, machine),
            win::kErrorSuccess);
  std::uint32_t type = 0;
  Bytes expected;
  ASSERT_EQ(machine.ReadValue("CurrentVersion", type, expected), win::kErrorSuccess);
  ASSERT_EQ(registry().QueryUserSpecificValue(kMachineKey, "CurrentVersion", true, buffer, info),
            win::kErrorSuccess);
  EXPECT_EQ(info.type, type);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + info.size), expected);
}

}  // namespace
}  // namespace corvane
