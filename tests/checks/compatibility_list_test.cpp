// The compatibility-view list in the registry, on the emulated PC and against the real
// registry; the user's own list and mode are put back afterwards.

#include "checks/compatibility_list.h"

#include <gtest/gtest.h>

#include <ctime>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "checks/registry_settings.h"
#include "checks/user_filter.h"
#include "checks_test_machine.h"
#include "platform/win_errors.h"

namespace corvane {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr RegistryRoot kHkcu = RegistryRoot::kCurrentUser;
constexpr const char* kModeKey = R"(Software\Microsoft\Internet Explorer\BrowserEmulation)";
constexpr const char* kListKey =
    R"(Software\Microsoft\Internet Explorer\BrowserEmulation\ClearableListData)";

Bytes FromHex(std::string_view hex) {
  if (hex.size() % 2 != 0) ADD_FAILURE() << "odd digits: " << hex;
  Bytes bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(
        static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return bytes;
}

CheckConfig ConfigWithDomains(std::vector<std::string> domains) {
  CheckConfig config;
  ConfigSection section{"compatibility", {}};
  for (std::string& domain : domains)
    section.entries.push_back({std::move(domain), "", "", "", ""});
  config.sections.push_back(std::move(section));
  return config;
}

// Every test starts without a list or a mode, and leaves the user's as they were.
class CompatibilityList : public ::testing::Test {
 protected:
  CompatibilityList() {
    DeleteValue(kHkcu, kModeKey, "AllSitesCompatibilityMode");
    DeleteTree(kHkcu, kListKey);
  }

  static std::optional<TestValue> List() { return GetValue(kHkcu, kListKey, "UserFilter"); }
  static void SetList(const Bytes& bytes) {
    PutValue(kHkcu, kListKey, "UserFilter", Binary(bytes));
  }

  // Runs the repair and returns what it wrote, with the time stamps of the records after the
  // first `keptRecords` checked against the seconds the run took and replaced by
  // 00 00 00 00 00, so the rest compares exactly.
  static Bytes RepairAndReadWithoutStamps(CheckConfig& config, std::size_t keptRecords = 0) {
    const std::time_t before = std::time(nullptr);
    EXPECT_TRUE(CheckCompatibilityList(config, true));
    const std::time_t after = std::time(nullptr);
    std::set<UserFilterStamp> allowed;
    for (std::time_t t = before; t <= after; ++t) allowed.insert(UserFilterStampAt(t));
    const std::optional<TestValue> written = List();
    if (!written) {
      ADD_FAILURE() << "no list written";
      return {};
    }
    EXPECT_EQ(written->type, win::kRegBinary);
    Bytes bytes = written->data;
    // A record: 0C 00 00 00, the stamp, 7 bytes, the 16-bit length at +16, 2 bytes a byte.
    std::size_t at = kUserFilterHeaderSize;
    for (std::size_t record = 0; at + 18 <= bytes.size(); ++record) {
      const auto stampAt = bytes.begin() + static_cast<std::ptrdiff_t>(at) + 4;
      if (record >= keptRecords) {
        UserFilterStamp stamp;
        std::copy_n(stampAt, 5, stamp.begin());
        EXPECT_TRUE(allowed.contains(stamp)) << "record " << record;
        std::fill_n(stampAt, 5, 0);
      }
      at += 18 + 2 * (bytes[at + 16] | (bytes[at + 17] << 8U));
    }
    return bytes;
  }

  ChecksTestMachine machine_;
  PreservedValue mode_{kHkcu, kModeKey, "AllSitesCompatibilityMode"};
  PreservedValue list_{kHkcu, kListKey, "UserFilter"};
};

TEST_F(CompatibilityList, WithoutASectionNothingIsLookedAt) {
  CheckConfig config;
  config.registryOk = false;
  EXPECT_TRUE(CheckCompatibilityList(config, false));
  EXPECT_TRUE(config.registryOk);
  EXPECT_TRUE(CheckCompatibilityList(config, true));
  EXPECT_FALSE(KeyExists(kHkcu, kListKey));
}

TEST_F(CompatibilityList, AMissingListFailsAndTheRepairWritesOneByTheLayout) {
  CheckConfig config = ConfigWithDomains({"ab.cn"});
  config.registryOk = true;
  EXPECT_FALSE(CheckCompatibilityList(config, false));
  EXPECT_FALSE(config.registryOk);
  EXPECT_TRUE(KeyExists(kHkcu, kListKey));  // created by the check, empty
  EXPECT_EQ(List(), std::nullopt);

  EXPECT_EQ(RepairAndReadWithoutStamps(config), FromHex("411f0000"
                                                        "5308adba"
                                                        "01000000"
                                                        "28000000"
                                                        "01000000"
                                                        "01000000"
                                                        "0c000000"
                                                        "0000000000"
                                                        "84cd01"
                                                        "01000000"
                                                        "0500"
                                                        "610062002e0063006e00"));
  EXPECT_TRUE(config.registryOk);
  EXPECT_TRUE(CheckCompatibilityList(config, false));
}

TEST_F(CompatibilityList, ANewListHoldsEveryDomainInOrder) {
  CheckConfig config = ConfigWithDomains({"ab.cn", "x.org"});
  EXPECT_EQ(RepairAndReadWithoutStamps(config), FromHex("411f0000"
                                                        "5308adba"
                                                        "02000000"
                                                        "44000000"
                                                        "01000000"
                                                        "02000000"
                                                        "0c000000"
                                                        "0000000000"
                                                        "84cd01"
                                                        "01000000"
                                                        "0500"
                                                        "610062002e0063006e00"
                                                        "0c000000"
                                                        "0000000000"
                                                        "84cd01"
                                                        "01000000"
                                                        "0500"
                                                        "78002e006f0072006700"));
  EXPECT_TRUE(CheckCompatibilityList(config, false));
}

TEST_F(CompatibilityList, AnExistingListIsExtendedAndItsOtherHeaderBytesKept) {
  const Bytes list = FromHex(
      "411f0000"
      "5308adba"
      "01000000"
      "2c000000"
      "07000000"
      "09000000"
      "0c000000"
      "0102030405"
      "84cd01"
      "01000000"
      "0700"
      "620061006e006b002e0063006e00");
  SetList(list);

  CheckConfig config = ConfigWithDomains({"bank.cn", "ab.cn", "x.org"});
  EXPECT_FALSE(CheckCompatibilityList(config, false));
  EXPECT_EQ(List(), Binary(list));

  // Both counts become the first one plus 2; offset 16 and the old record stay as found.
  EXPECT_EQ(RepairAndReadWithoutStamps(config, 1), FromHex("411f0000"
                                                           "5308adba"
                                                           "03000000"
                                                           "64000000"
                                                           "07000000"
                                                           "03000000"
                                                           "0c000000"
                                                           "0102030405"
                                                           "84cd01"
                                                           "01000000"
                                                           "0700"
                                                           "620061006e006b002e0063006e00"
                                                           "0c000000"
                                                           "0000000000"
                                                           "84cd01"
                                                           "01000000"
                                                           "0500"
                                                           "610062002e0063006e00"
                                                           "0c000000"
                                                           "0000000000"
                                                           "84cd01"
                                                           "01000000"
                                                           "0500"
                                                           "78002e006f0072006700"));
  EXPECT_TRUE(CheckCompatibilityList(config, false));
}

TEST_F(CompatibilityList, DomainsCompareAsBytes) {
  Bytes list = NewUserFilter();
  ASSERT_TRUE(AppendUserFilterRecord(list, "bank.cn", {}));
  SetList(list);
  CheckConfig lower = ConfigWithDomains({"bank.cn"});
  EXPECT_TRUE(CheckCompatibilityList(lower, false));
  CheckConfig upper = ConfigWithDomains({"BANK.CN"});
  EXPECT_FALSE(CheckCompatibilityList(upper, false));
  CheckConfig part = ConfigWithDomains({"ank.cn"});
  EXPECT_FALSE(CheckCompatibilityList(part, false));
}

TEST_F(CompatibilityList, AllSitesInCompatibilityViewPassWithoutTheList) {
  PutValue(kHkcu, kModeKey, "AllSitesCompatibilityMode", Dword(1));
  SetList({1, 2, 3});  // not a list at all
  CheckConfig config = ConfigWithDomains({"ab.cn"});
  EXPECT_TRUE(CheckCompatibilityList(config, false));
  EXPECT_TRUE(CheckCompatibilityList(config, true));
  EXPECT_EQ(List(), Binary({1, 2, 3}));

  // Off: the list counts, and the repair leaves the mode as it is.
  PutValue(kHkcu, kModeKey, "AllSitesCompatibilityMode", Dword(0));
  EXPECT_FALSE(CheckCompatibilityList(config, false));
  EXPECT_TRUE(CheckCompatibilityList(config, true));
  EXPECT_EQ(GetValue(kHkcu, kModeKey, "AllSitesCompatibilityMode"), Dword(0));
  EXPECT_TRUE(CheckCompatibilityList(config, false));
}

TEST_F(CompatibilityList, ListsThatCannotBeReadAreReplaced) {
  Bytes list = NewUserFilter();
  ASSERT_TRUE(AppendUserFilterRecord(list, "ab.cn", {}));
  Bytes wrongSize = list;
  wrongSize[12] = 0xFF;
  Bytes grownBehindTheHeader = list;
  grownBehindTheHeader.push_back(0);
  struct Case {
    const char* what;
    TestValue value;
  };
  const Case cases[] = {
      {"shorter than the header", Binary(Bytes(list.begin(), list.begin() + 20))},
      {"empty", Binary({})},
      {"size field wrong", Binary(wrongSize)},
      {"bytes beyond the size", Binary(grownBehindTheHeader)},
      {"not binary", TestValue{win::kRegSz, list}},
  };
  CheckConfig config = ConfigWithDomains({"ab.cn"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PutValue(kHkcu, kListKey, "UserFilter", c.value);
    EXPECT_FALSE(CheckCompatibilityList(config, false));
    EXPECT_EQ(List(), c.value);
    EXPECT_EQ(RepairAndReadWithoutStamps(config), list);
    EXPECT_TRUE(CheckCompatibilityList(config, false));
  }
}

TEST_F(CompatibilityList, AListPast255EntriesKeepsAConsistentHeader) {
  Bytes list = NewUserFilter();
  for (int i = 0; i < 255; ++i) {
    ASSERT_TRUE(AppendUserFilterRecord(list, "d" + std::to_string(i) + ".cn", {}));
  }
  SetList(list);
  CheckConfig config = ConfigWithDomains({"d7.cn", "new.cn"});
  EXPECT_FALSE(CheckCompatibilityList(config, false));
  const Bytes written = RepairAndReadWithoutStamps(config, 255);
  ASSERT_EQ(written.size(), list.size() + 18 + 12);
  const auto u32At = [&](std::size_t offset) {
    return written[offset] | (written[offset + 1] << 8U) | (written[offset + 2] << 16U) |
           (static_cast<std::uint32_t>(written[offset + 3]) << 24U);
  };
  EXPECT_EQ(u32At(8), 256U);
  EXPECT_EQ(u32At(12), written.size() - 12);
  EXPECT_EQ(u32At(20), 256U);
  EXPECT_EQ(Bytes(written.begin() + 24, written.begin() + static_cast<std::ptrdiff_t>(list.size())),
            Bytes(list.begin() + 24, list.end()));
  EXPECT_TRUE(IsUsableUserFilter(written));
  EXPECT_TRUE(CheckCompatibilityList(config, false));
}

TEST_F(CompatibilityList, ItsFailureEndsTheRegistryCheck) {
  const PreservedValue policy(kHkcu, R"(SOFTWARE\Microsoft\Windows\CurrentVersion\Policies\System)",
                              "Disableregistrytools");
  // A name too long for a record: the repair cannot record it.
  CheckConfig config = ConfigWithDomains({std::string(70000, 'a')});
  const std::string key = machine_.scratchKey();
  config.sections.push_back({"registry", {{"HKCU\\" + key, "v", "reg_dword", "1", ""}}});
  EXPECT_FALSE(CheckRegistry(config, true));
  EXPECT_FALSE(config.registryOk);
  EXPECT_EQ(GetValue(kHkcu, key, "v"), std::nullopt);
}

}  // namespace
}  // namespace corvane
