#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "bank/bank_values.h"
#include "config/parse_check_config.h"
#include "config_test_machine.h"
#include "platform/resources.h"

namespace corvane {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::StartsWith;

std::string BuiltInText() {
  const std::vector<std::uint8_t> bytes = LoadResourceBytes("ITEM.XML", win::kRtHtml);
  return {bytes.begin(), bytes.end()};
}

TEST(BuiltInItemXml, IsUtf8WithByteOrderMarkAndCrLfLines) {
  const ConfigTestMachine machine;
  const std::string text = BuiltInText();
  ASSERT_FALSE(text.empty());
  EXPECT_THAT(text, StartsWith("\xEF\xBB\xBF<?xml"));
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "bare LF at " << i;
    }
    if (text[i] == '\r') {
      ASSERT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << "bare CR at " << i;
    }
  }
}

TEST(BuiltInItemXml, ParsesToTheBanksSectionsItemsAndVersion) {
  const ConfigTestMachine machine;
  CheckConfig config;
  ASSERT_TRUE(ParseCheckConfig(config, BuiltInText()));
  EXPECT_EQ(config.base, bank::kUpdateBaseUrl);
  EXPECT_TRUE(config.components.empty());
  EXPECT_EQ(config.appInfo.version, "1.0.0.0");
  EXPECT_THAT(config.appInfo.remote, StartsWith("http://"));
  EXPECT_EQ(config.appInfo.md5, "");
  EXPECT_FALSE(config.appInfo.localPath.empty());

  std::vector<std::string> types;
  for (const ConfigSection& section : config.sections) types.push_back(section.type);
  ASSERT_THAT(types, ElementsAre("compatibility", "registry", "service", "dns", "host", "trust"));

  const std::string personal(bank::kPersonalHost);
  const std::string corporate(bank::kCorporateHost);
  EXPECT_EQ(config.sections[0].entries.at(0).text, bank::kDomain);

  const std::vector<ConfigEntry>& registry = config.sections[1].entries;
  ASSERT_EQ(registry.size(), 10U);
  const char* const dwordNames[] = {
      "DisableRenegoOnClient", "DisableRenegoOnServer", "1201", "2101", "SecureProtocols", "1208"};
  // SecureProtocols: TLS 1.2 (0x800) on, SSL 2.0 (0x08) and 3.0 (0x20) off, the customer's
  // other protocol bits kept.
  const char* const dwordValues[] = {"0", "0", "0", "0", "2048", "0"};
  const char* const dwordMasks[] = {"", "", "", "", "2088", ""};
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(registry[i].name, dwordNames[i]);
    EXPECT_EQ(registry[i].type, "reg_dword");
    EXPECT_EQ(registry[i].value, dwordValues[i]);
    EXPECT_EQ(registry[i].mask, dwordMasks[i]);
  }
  EXPECT_THAT(registry[0].text, StartsWith("HKEY_LOCAL_MACHINE\\"));
  for (std::size_t i = 6; i < 10; ++i) {
    EXPECT_EQ(registry[i].type, "reg_sz");
    EXPECT_EQ(registry[i].name + registry[i].value, "");
    EXPECT_THAT(
        registry[i].text,
        StartsWith("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\"));
  }

  EXPECT_EQ(config.sections[2].entries.at(0).text, "https://" + personal + "/perbank/");
  const std::vector<ConfigEntry>& dns = config.sections[3].entries;
  ASSERT_EQ(dns.size(), 6U);
  for (std::size_t i = 0; i < dns.size(); ++i) {
    EXPECT_EQ(dns[i].text, i < 3 ? personal : corporate);
    EXPECT_FALSE(dns[i].value.empty());
    EXPECT_EQ(dns[i].name, "");
  }
  std::vector<std::string> hosts;
  for (const ConfigEntry& entry : config.sections[4].entries) hosts.push_back(entry.text);
  EXPECT_THAT(hosts, ElementsAre(personal, corporate));
  std::vector<std::string> trusted;
  for (const ConfigEntry& entry : config.sections[5].entries) trusted.push_back(entry.text);
  EXPECT_THAT(trusted, ElementsAre("https://" + personal + "/", "https://" + corporate + "/"));

  struct ItemCase {
    std::string_view name, type;
    std::size_t clsids, files;
    std::string_view installer, command;
  };
  const ItemCase items[] = {
      {"安全控件", "SafeActiveX", 6, 1, "Keyvessel.exe", "%1 /sp- /verysilent /norestart"},
      {"签名控件", "SignActiveX", 1, 1, "koalii_svs_acx.exe", "%1"},
      {"飞天一代控件", "UkeyActiveX", 2, 1, "FTKeyCtrl.exe", "%1"},
      {"飞天二代控件", "UkeyActiveX", 2, 1, "FTKeyCtrl_2G.exe", "%1"},
      {"坚石二代key控件", "UkeyActiveX", 2, 1, "ETOCtrlSetup.exe", "%1"},
      {"飞天一代驱动", "driver", 4, 5, "eP2Kauto.exe", "%1"},
      {"飞天二代驱动", "driver", 2, 4, "FTKeySetup_2G.exe", "%1"},
      {"坚石二代key驱动", "driver", 2, 4, "ETOKeySetup.exe", "%1"},
  };
  ASSERT_EQ(config.items.size(), std::size(items));
  for (std::size_t i = 0; i < std::size(items); ++i) {
    const ItemCase& want = items[i];
    const CheckItem& item = config.items[i];
    SCOPED_TRACE(want.name);
    EXPECT_EQ(item.name, want.name);
    EXPECT_EQ(item.type, want.type);
    std::vector<std::string> kinds;
    for (const DetectRule& rule : item.detects) kinds.push_back(rule.type);
    std::vector<std::string> wantKinds(want.clsids, "clsid");
    wantKinds.insert(wantKinds.end(), want.files, "file");
    EXPECT_EQ(kinds, wantKinds);
    for (std::size_t r = want.clsids; r < item.detects.size(); ++r) {
      EXPECT_THAT(item.detects[r].text, ::testing::AnyOf(StartsWith("%ProgramFiles%\\"),
                                                         StartsWith("%SystemRoot%\\system32\\")));
    }
    ASSERT_EQ(item.installers.size(), 1U);
    EXPECT_EQ(item.installers[0].url,
              std::string(bank::kUpdateBaseUrl) + std::string(want.installer));
    EXPECT_EQ(item.installers[0].command, want.command);
    EXPECT_THAT(item.installers[0].localPath,
                ::testing::EndsWith("\\DownTmp\\" + std::string(want.installer)));
    EXPECT_TRUE(item.files.empty());
    EXPECT_EQ(item.tips + item.image + item.className, "");
  }
  EXPECT_THAT(config.items[5].detects.at(4).text, ::testing::EndsWith("\\Encrypt.ocx"));
}

TEST(BankValues, ConfigurationUrlIsHttpsOnThePersonalHost) {
  EXPECT_EQ(bank::kConfigPath, "/perbank/download/818/item.xml");
  EXPECT_EQ(bank::kConfigUrl,
            "https://" + std::string(bank::kPersonalHost) + std::string(bank::kConfigPath));
  EXPECT_THAT(std::string(bank::kPublicSiteUrl), StartsWith("http://"));
  EXPECT_EQ(bank::kPublicSiteUrl.back(), '/');
  EXPECT_EQ(bank::kUpdateBaseUrl.back(), '/');
}

}  // namespace
}  // namespace corvane
