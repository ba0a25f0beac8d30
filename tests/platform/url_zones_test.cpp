// The URL security zones against both backends: the emulated PC must answer as urlmon does
// from the same registry layout (Wine's urlmon reads and writes it as Windows does).

#include <gtest/gtest.h>

#include <string>

#include "url_zones_under_test.h"

namespace corvane {
namespace {

const std::string kSettings = R"(Software\Microsoft\Windows\CurrentVersion\Internet Settings)";
const std::string kZone2 = kSettings + "\\Zones\\2";

void SetDword(Registry& registry, const std::string& key, const std::string& name,
              std::uint32_t value) {
  RegistryKey opened;
  ASSERT_EQ(registry.CreateKey(RegistryRoot::kCurrentUser, key, win::kKeyWrite, opened), 0U);
  ASSERT_EQ(opened.SetDword(name, value), 0U);
}

std::uint32_t GetDword(Registry& registry, const std::string& key, const std::string& name) {
  RegistryKey opened;
  std::uint32_t value = 0xDEADBEEF;
  if (registry.OpenKey(RegistryRoot::kCurrentUser, key, win::kKeyRead, opened) == 0) {
    opened.ReadDword(name, value);
  }
  return value;
}

TEST(UrlZones, AttributesAreTheZoneKeysValuesBothWays) {
  auto under = MakeUrlZonesUnderTest();
  std::unique_ptr<ZoneManager> zones;
  ASSERT_EQ(under->zones().CreateZoneManager(zones), win::kSOk);
  ASSERT_NE(zones, nullptr);

  // What the registry holds is what a read past the cache gives.
  SetDword(under->registry(), kZone2, "CurrentLevel", win::kUrlTemplateMedium);
  ZoneAttributes trusted;
  trusted.flags = win::kZaFlagsNoCache;
  ASSERT_EQ(zones->GetZoneAttributes(win::kUrlZoneTrusted, trusted), win::kSOk);
  EXPECT_EQ(trusted.templateCurrentLevel, win::kUrlTemplateMedium);
  EXPECT_EQ(trusted.displayName, "Trusted sites");
  EXPECT_NE(trusted.flags & win::kZaFlagsRequireVerification, 0U);

  // A write lands in the user's zone key, and a new read sees it.
  trusted.templateCurrentLevel = win::kUrlTemplateLow;
  trusted.templateRecommended = win::kUrlTemplateLow;
  ASSERT_EQ(zones->SetZoneAttributes(win::kUrlZoneTrusted, trusted), win::kSOk);
  EXPECT_EQ(GetDword(under->registry(), kZone2, "CurrentLevel"), win::kUrlTemplateLow);
  EXPECT_EQ(GetDword(under->registry(), kZone2, "RecommendedLevel"), win::kUrlTemplateLow);
  ZoneAttributes again;
  again.flags = win::kZaFlagsNoCache;
  ASSERT_EQ(zones->GetZoneAttributes(win::kUrlZoneTrusted, again), win::kSOk);
  EXPECT_EQ(again.templateCurrentLevel, win::kUrlTemplateLow);
  EXPECT_EQ(again.displayName, trusted.displayName);

  // The Internet and Restricted sites zones are there with their levels.
  for (std::uint32_t zone : {win::kUrlZoneInternet, win::kUrlZoneUntrusted}) {
    ZoneAttributes attributes;
    attributes.flags = win::kZaFlagsNoCache;
    EXPECT_EQ(zones->GetZoneAttributes(zone, attributes), win::kSOk) << zone;
    EXPECT_NE(attributes.templateRecommended, 0U) << zone;
  }
}

TEST(UrlZones, UrlsMapThroughTheDomainsKeysAndTheSchemeDefaults) {
  auto under = MakeUrlZonesUnderTest();
  const std::string domains = kSettings + "\\ZoneMap\\Domains\\" + kZoneTestDomain;
  SetDword(under->registry(), domains + "\\bank", "https", win::kUrlZoneTrusted);
  SetDword(under->registry(), domains + "\\shop", "*", win::kUrlZoneUntrusted);
  std::unique_ptr<SecurityManager> manager;
  ASSERT_EQ(under->zones().CreateSecurityManager(manager), win::kSOk);

  const std::string host = std::string("bank.") + kZoneTestDomain;
  struct Case {
    std::string url;
    std::uint32_t zone;
  };
  const Case cases[] = {
      {"https://" + host + "/", win::kUrlZoneTrusted},
      {"HTTPS://BANK." + std::string(kZoneTestDomain) + "/login?x#y", win::kUrlZoneTrusted},
      {"https://user@" + host + ":443/", win::kUrlZoneTrusted},
      {"http://" + host + "/", win::kUrlZoneInternet},       // the key names https only
      {"https://www." + host + "/", win::kUrlZoneInternet},  // a host key is that host alone
      {"https://" + std::string(kZoneTestDomain) + "/", win::kUrlZoneInternet},
      {"ftp://shop." + std::string(kZoneTestDomain) + "/", win::kUrlZoneUntrusted},  // "*"
      {"https://192.0.2.1/", win::kUrlZoneInternet},
      {"file:///c:/x.htm", win::kUrlZoneLocalMachine},
  };
  for (const Case& c : cases) {
    std::uint32_t zone = 99;
    EXPECT_EQ(manager->MapUrlToZone(c.url, zone, 0), win::kSOk) << c.url;
    EXPECT_EQ(zone, c.zone) << c.url;
  }

  // A key of the domain itself maps the domain and every name below it.
  SetDword(under->registry(), domains, "https", win::kUrlZoneTrusted);
  for (const std::string& url : {"https://" + std::string(kZoneTestDomain) + "/",
                                 "https://a.b." + std::string(kZoneTestDomain) + "/"}) {
    std::uint32_t zone = 99;
    EXPECT_EQ(manager->MapUrlToZone(url, zone, 0), win::kSOk) << url;
    EXPECT_EQ(zone, win::kUrlZoneTrusted) << url;
  }

  // Text without a scheme is no URL.
  std::uint32_t zone = 0;
  EXPECT_EQ(manager->MapUrlToZone(host, zone, 0), win::kEInvalidArg);
  EXPECT_EQ(zone, win::kUrlZoneInvalid);
}

// Wine differences: SetZoneMapping and CopyTemplatePoliciesToZone are stubs there.
TEST(UrlZones, MappingsAreStoredAsTheBrowserStoresThem) {
  auto under = MakeUrlZonesUnderTest();
  std::unique_ptr<SecurityManager> manager;
  ASSERT_EQ(under->zones().CreateSecurityManager(manager), win::kSOk);
  const std::string site = std::string("https://bank.") + kZoneTestDomain + "/";
  if (under->isWine()) {
    EXPECT_EQ(manager->SetZoneMapping(win::kUrlZoneTrusted, site, win::kSzmCreate), win::kENotImpl);
    GTEST_SKIP() << "Wine's SetZoneMapping is a stub";
  }
  ASSERT_EQ(manager->SetZoneMapping(win::kUrlZoneTrusted, site, win::kSzmCreate), win::kSOk);
  const std::string domains = kSettings + "\\ZoneMap\\Domains\\" + kZoneTestDomain;
  EXPECT_EQ(GetDword(under->registry(), domains + "\\bank", "https"), win::kUrlZoneTrusted);
  std::uint32_t zone = 0;
  ASSERT_EQ(manager->MapUrlToZone(site, zone, 0), win::kSOk);
  EXPECT_EQ(zone, win::kUrlZoneTrusted);
  // The same mapping again is no change; to another zone it is refused.
  EXPECT_EQ(manager->SetZoneMapping(win::kUrlZoneTrusted, site, win::kSzmCreate), win::kSOk);
  EXPECT_LT(manager->SetZoneMapping(win::kUrlZoneUntrusted, site, win::kSzmCreate), 0);

  // A zone that requires https refuses an http site (and one without a scheme).
  SetDword(under->registry(), kZone2, "Flags", 0x47);
  const std::string plain = std::string("http://plain.") + kZoneTestDomain;
  EXPECT_EQ(manager->SetZoneMapping(win::kUrlZoneTrusted, plain, win::kSzmCreate),
            win::kEAccessDenied);
  EXPECT_EQ(manager->SetZoneMapping(win::kUrlZoneTrusted, std::string("*.") + kZoneTestDomain,
                                    win::kSzmCreate),
            win::kEAccessDenied);
  SetDword(under->registry(), kZone2, "Flags", 0x43);
  EXPECT_EQ(manager->SetZoneMapping(win::kUrlZoneTrusted, plain, win::kSzmCreate), win::kSOk);
  EXPECT_EQ(GetDword(under->registry(), domains + "\\plain", "http"), win::kUrlZoneTrusted);

  // Deleting takes the mapping away.
  EXPECT_EQ(manager->SetZoneMapping(win::kUrlZoneTrusted, site, win::kSzmDelete), win::kSOk);
  ASSERT_EQ(manager->MapUrlToZone(site, zone, 0), win::kSOk);
  EXPECT_EQ(zone, win::kUrlZoneInternet);
}

TEST(UrlZones, TemplatePoliciesReplaceTheZonesActionValues) {
  auto under = MakeUrlZonesUnderTest();
  std::unique_ptr<ZoneManager> zones;
  ASSERT_EQ(under->zones().CreateZoneManager(zones), win::kSOk);
  if (under->isWine()) {
    EXPECT_EQ(zones->CopyTemplatePoliciesToZone(win::kUrlTemplateLow, win::kUrlZoneTrusted, 0),
              win::kENotImpl);
    GTEST_SKIP() << "Wine's CopyTemplatePoliciesToZone is a stub";
  }
  SetDword(under->registry(), kZone2, "1201", 0);
  ASSERT_EQ(zones->CopyTemplatePoliciesToZone(win::kUrlTemplateHigh, win::kUrlZoneTrusted, 0),
            win::kSOk);
  EXPECT_EQ(GetDword(under->registry(), kZone2, "1201"), 3U);  // disabled at High
  ASSERT_EQ(zones->CopyTemplatePoliciesToZone(win::kUrlTemplateLow, win::kUrlZoneTrusted, 0),
            win::kSOk);
  EXPECT_EQ(GetDword(under->registry(), kZone2, "1201"), 1U);  // a prompt at Low
  EXPECT_EQ(GetDword(under->registry(), kZone2, "1400"), 0U);
  EXPECT_LT(zones->CopyTemplatePoliciesToZone(0x12345, win::kUrlZoneTrusted, 0), 0);
}

}  // namespace
}  // namespace corvane
