// Items 10 and 11 on the emulated PC, whose zones are kept in its registry.

#include "checks/browser_settings.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "checks_test_machine.h"
#include "emulated/scratch_machine.h"
#include "forwarding_platform.h"
#include "platform/emulated/emulated_platform.h"
#include "platform/platform.h"
#include "platform/url_zones.h"

namespace corvane {
namespace {

const std::string kSettings = R"(Software\Microsoft\Windows\CurrentVersion\Internet Settings)";
std::string Zone(int zone) { return kSettings + "\\Zones\\" + std::to_string(zone); }
const std::string kDomains = kSettings + "\\ZoneMap\\Domains";

std::uint32_t Level(int zone, const char* name = "CurrentLevel") {
  const auto value = GetValue(RegistryRoot::kCurrentUser, Zone(zone), name);
  if (!value || value->data.size() != 4) return 0xDEADBEEF;
  return value->data[0] | value->data[1] << 8 | value->data[2] << 16 | value->data[3] << 24;
}

CheckConfig TrustConfig(std::vector<std::string> urls) {
  CheckConfig config;
  ConfigSection section{.type = "trust", .entries = {}};
  for (std::string& url : urls) {
    ConfigEntry entry;
    entry.text = std::move(url);
    section.entries.push_back(std::move(entry));
  }
  config.sections.push_back(std::move(section));
  return config;
}

TEST(CheckSecurityLevel, TheNewMachinesTrustedSitesAtMediumFailAndTheRepairSetsLow) {
  ChecksTestMachine machine;
  PutValue(RegistryRoot::kCurrentUser, Zone(2), "1201", Dword(0));  // as item 2 writes it
  CheckConfig config;
  EXPECT_FALSE(CheckSecurityLevel(config, false));
  EXPECT_FALSE(config.securityLevelOk);
  EXPECT_EQ(Level(2), 0x11000U) << "check mode changes nothing";

  EXPECT_TRUE(CheckSecurityLevel(config, true));
  EXPECT_EQ(Level(2), 0x10000U);
  EXPECT_EQ(Level(2, "RecommendedLevel"), 0x10000U);
  // The Low template's per-action values replace the zone's.
  EXPECT_EQ(GetValue(RegistryRoot::kCurrentUser, Zone(2), "1201"), Dword(1));
  EXPECT_EQ(Level(3), 0x11500U) << "the Internet zone was already right";
  EXPECT_TRUE(CheckSecurityLevel(config, false));
  EXPECT_TRUE(config.securityLevelOk);
}

TEST(CheckSecurityLevel, CheckModeStopsAtTheInternetZoneAndTheRepairFixesEachZone) {
  ChecksTestMachine machine;
  PutValue(RegistryRoot::kCurrentUser, Zone(3), "CurrentLevel", Dword(0x10500));
  PutValue(RegistryRoot::kCurrentUser, Zone(4), "CurrentLevel", Dword(0x11000));
  CheckConfig config;
  EXPECT_FALSE(CheckSecurityLevel(config, false));
  EXPECT_TRUE(CheckSecurityLevel(config, true));
  EXPECT_EQ(Level(3), 0x11500U);
  EXPECT_EQ(Level(2), 0x10000U);
  EXPECT_EQ(Level(4), 0x12000U);
  EXPECT_EQ(GetValue(RegistryRoot::kCurrentUser, Zone(4), "1400"), Dword(3)) << "High's values";
  EXPECT_TRUE(CheckSecurityLevel(config, false));
}

TEST(CheckSecurityLevel, AZoneThatCannotBeReadIsPassedOver) {
  ChecksTestMachine machine;
  PutValue(RegistryRoot::kCurrentUser, Zone(2), "CurrentLevel", Dword(0x10000));
  DeleteTree(RegistryRoot::kCurrentUser, Zone(4));
  DeleteTree(RegistryRoot::kLocalMachine, Zone(4));
  DeleteTree(RegistryRoot::kLocalMachine,
             R"(SOFTWARE\Wow6432Node\Microsoft\Windows\CurrentVersion\Internet Settings\Zones\4)");
  CheckConfig config;
  EXPECT_TRUE(CheckSecurityLevel(config, false));
}

TEST(CheckTrustedSites, TheBanksSitesAreAddedToTrustedSitesAndThenPass) {
  ChecksTestMachine machine;
  CheckConfig none;
  EXPECT_TRUE(CheckTrustedSites(none, false)) << "no trust section";
  EXPECT_TRUE(none.trustedSitesOk);

  CheckConfig config =
      TrustConfig({"https://perbank.marrowby.example/", "https://corbank.marrowby.example/"});
  EXPECT_FALSE(CheckTrustedSites(config, false));
  EXPECT_FALSE(KeyExists(RegistryRoot::kCurrentUser, kDomains + "\\marrowby.example"));
  EXPECT_TRUE(CheckTrustedSites(config, true));
  EXPECT_EQ(GetValue(RegistryRoot::kCurrentUser, kDomains + "\\marrowby.example\\perbank", "https"),
            Dword(2));
  EXPECT_EQ(GetValue(RegistryRoot::kCurrentUser, kDomains + "\\marrowby.example\\corbank", "https"),
            Dword(2));
  EXPECT_TRUE(CheckTrustedSites(config, false));
  EXPECT_EQ(GetValue(RegistryRoot::kCurrentUser, Zone(2), "Flags"), Dword(0x47));
}

TEST(CheckTrustedSites, AWiderPatternAlreadyTrustedAddsNothing) {
  ChecksTestMachine machine;
  PutValue(RegistryRoot::kCurrentUser, kDomains + "\\marrowby.example", "*", Dword(2));
  CheckConfig config = TrustConfig({"https://perbank.marrowby.example/"});
  EXPECT_TRUE(CheckTrustedSites(config, true));
  EXPECT_FALSE(KeyExists(RegistryRoot::kCurrentUser, kDomains + "\\marrowby.example\\perbank"));
}

TEST(CheckTrustedSites, AnHttpSiteLiftsTheHttpsRequirementForTheMappingAndRestoresIt) {
  ChecksTestMachine machine;
  CheckConfig config = TrustConfig({"http://plain.marrowby.example/", "not a url"});
  EXPECT_TRUE(CheckTrustedSites(config, true)) << "repair passes whatever the mappings did";
  EXPECT_EQ(GetValue(RegistryRoot::kCurrentUser, kDomains + "\\marrowby.example\\plain", "http"),
            Dword(2));
  EXPECT_EQ(GetValue(RegistryRoot::kCurrentUser, Zone(2), "Flags"), Dword(0x47));
  EXPECT_FALSE(CheckTrustedSites(config, false)) << "the text that is no URL maps nowhere";
}

// A security manager that refuses every mapping as a zone requiring https would.
class RefusingManager final : public SecurityManager {
 public:
  win::HResult MapUrlToZone(std::string_view, std::uint32_t& zone, std::uint32_t) override {
    zone = win::kUrlZoneInternet;
    return win::kSOk;
  }
  win::HResult SetZoneMapping(std::uint32_t, std::string_view, std::uint32_t) override {
    ++calls;
    return win::kEAccessDenied;
  }
  int calls = 0;
};

TEST(AddToZone, TheRequirementComesBackWhenTheRetryFailsAndIsLeftAloneWhenNotSet) {
  ChecksTestMachine machine;
  RefusingManager manager;
  EXPECT_FALSE(AddToZone(manager, 2, "http://x.example", 0));
  EXPECT_EQ(manager.calls, 2);
  EXPECT_EQ(GetValue(RegistryRoot::kCurrentUser, Zone(2), "Flags"), Dword(0x47));

  // Without the flag there is nothing to lift: one call, no write.
  PutValue(RegistryRoot::kCurrentUser, Zone(2), "Flags", Dword(0x43));
  RefusingManager again;
  EXPECT_FALSE(AddToZone(again, 2, "http://x.example", 0));
  EXPECT_EQ(again.calls, 1);
  EXPECT_EQ(GetValue(RegistryRoot::kCurrentUser, Zone(2), "Flags"), Dword(0x43));
}

// A platform whose zone and security managers cannot be created.
class NoZonesPlatform final : public ForwardingPlatform {
 public:
  explicit NoZonesPlatform(const std::filesystem::path& root) : inner_(root) {}
  UrlZones& urlZones() override { return none_; }

 protected:
  Platform& inner() override { return inner_; }

 private:
  class NoZones final : public UrlZones {
    win::HResult CreateZoneManager(std::unique_ptr<ZoneManager>& manager) override {
      manager.reset();
      return static_cast<win::HResult>(0x80040154U);  // REGDB_E_CLASSNOTREG
    }
    win::HResult CreateSecurityManager(std::unique_ptr<SecurityManager>& manager) override {
      manager.reset();
      return static_cast<win::HResult>(0x80040154U);
    }
  };
  emulated::EmulatedPlatform inner_;
  NoZones none_;
};

TEST(BrowserSettings, ManagersThatCannotBeCreatedFailTheirChecksInBothModes) {
  emulated::ScratchMachine scratch;
  ScopedPlatform platform(std::make_unique<NoZonesPlatform>(scratch.folder().root()));
  for (bool repair : {false, true}) {
    CheckConfig config = TrustConfig({"https://perbank.marrowby.example/"});
    config.securityLevelOk = config.trustedSitesOk = true;
    EXPECT_FALSE(CheckSecurityLevel(config, repair));
    EXPECT_FALSE(config.securityLevelOk);
    EXPECT_FALSE(CheckTrustedSites(config, repair));
    EXPECT_FALSE(config.trustedSitesOk);
  }
  RefusingManager manager;
  EXPECT_FALSE(AddToZone(manager, 2, "http://x.example", 0));
}

}  // namespace
}  // namespace corvane
