#include "checks/browser_settings.h"

#include <array>
#include <memory>

#include "config/parse_check_config.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "platform/url_zones.h"

namespace corvane {
namespace {

constexpr std::string_view kHomepagePolicyKey =
    R"(SOFTWARE\Policies\Microsoft\Internet Explorer\Control Panel)";

bool Succeeded(win::HResult result) { return result >= 0; }

// Reads a zone's attributes past urlmon's cache.
bool ReadZone(ZoneManager& zones, std::uint32_t zone, ZoneAttributes& attributes) {
  attributes = ZoneAttributes{};
  attributes.flags = win::kZaFlagsNoCache;
  return Succeeded(zones.GetZoneAttributes(zone, attributes));
}

// Puts the zone's "requires server verification" flag back when it goes, whatever happened
// since it was lifted.
class VerificationLift {
 public:
  VerificationLift(ZoneManager& zones, std::uint32_t zone, ZoneAttributes attributes)
      : zones_(zones), zone_(zone), attributes_(std::move(attributes)) {
    ZoneAttributes lifted = attributes_;
    lifted.flags &= ~win::kZaFlagsRequireVerification;
    zones_.SetZoneAttributes(zone_, lifted);
  }
  VerificationLift(const VerificationLift&) = delete;
  VerificationLift& operator=(const VerificationLift&) = delete;
  VerificationLift(VerificationLift&&) = delete;
  VerificationLift& operator=(VerificationLift&&) = delete;
  ~VerificationLift() {
    attributes_.flags |= win::kZaFlagsRequireVerification;
    zones_.SetZoneAttributes(zone_, attributes_);
  }

 private:
  ZoneManager& zones_;
  std::uint32_t zone_;
  ZoneAttributes attributes_;
};

}  // namespace

bool CheckHomepagePolicy(CheckConfig& config, bool repair) {
  RegistryKey key;
  if (CurrentPlatform().registry().OpenKey(RegistryRoot::kCurrentUser, kHomepagePolicyKey,
                                           win::kKeyRead | win::kKeyWrite, key) != 0) {
    config.homepageOk = true;
    return true;
  }
  std::array<std::uint8_t, 4> data{};
  RegistryValueInfo info;
  const bool on = key.QueryValue("Homepage", data, info) == 0 && info.type == win::kRegDword &&
                  info.size == data.size() && (data[0] | data[1] | data[2] | data[3]) != 0;
  if (!on) {
    config.homepageOk = true;
  } else if (!repair) {
    config.homepageOk = false;
  } else {
    config.homepageOk = key.DeleteValue("Homepage") == 0;
  }
  return config.homepageOk;
}

bool CheckSecurityLevel(CheckConfig& config, bool repair) {
  std::unique_ptr<ZoneManager> zones;
  if (!Succeeded(CurrentPlatform().urlZones().CreateZoneManager(zones)) || zones == nullptr) {
    config.securityLevelOk = false;
    return false;
  }
  struct Wanted {
    std::uint32_t zone;
    bool low;  // Low, else the zone's recommended level
  };
  for (const Wanted wanted :
       {Wanted{win::kUrlZoneInternet, false}, Wanted{win::kUrlZoneTrusted, true},
        Wanted{win::kUrlZoneUntrusted, false}}) {
    ZoneAttributes attributes;
    if (!ReadZone(*zones, wanted.zone, attributes)) continue;
    if (wanted.low) attributes.templateRecommended = win::kUrlTemplateLow;
    const std::uint32_t level = attributes.templateRecommended;
    if (attributes.templateCurrentLevel == level) continue;
    if (!repair) {
      config.securityLevelOk = false;
      return false;
    }
    attributes.templateCurrentLevel = level;
    zones->SetZoneAttributes(wanted.zone, attributes);
    zones->CopyTemplatePoliciesToZone(level, wanted.zone, 0);
  }
  config.securityLevelOk = true;
  return true;
}

bool CheckTrustedSites(CheckConfig& config, bool repair) {
  const ConfigSection* section = FindSection(config, "trust");
  if (section == nullptr) {
    config.trustedSitesOk = true;
    return true;
  }
  std::unique_ptr<SecurityManager> manager;
  if (!Succeeded(CurrentPlatform().urlZones().CreateSecurityManager(manager)) ||
      manager == nullptr) {
    config.trustedSitesOk = false;
    return false;
  }
  for (const ConfigEntry& entry : section->entries) {
    std::uint32_t zone = win::kUrlZoneInvalid;
    if (!Succeeded(manager->MapUrlToZone(entry.text, zone, 0))) zone = win::kUrlZoneInvalid;
    if (zone == win::kUrlZoneTrusted) continue;
    if (!repair) {
      config.trustedSitesOk = false;
      return false;
    }
    AddToZone(*manager, win::kUrlZoneTrusted, entry.text, win::kSzmCreate);
  }
  config.trustedSitesOk = true;
  return true;
}

bool AddToZone(SecurityManager& manager, std::uint32_t zone, std::string_view pattern,
               std::uint32_t flags) {
  win::HResult result = manager.SetZoneMapping(zone, pattern, flags);
  if (result != win::kEAccessDenied) return Succeeded(result);
  std::unique_ptr<ZoneManager> zones;
  if (!Succeeded(CurrentPlatform().urlZones().CreateZoneManager(zones)) || zones == nullptr) {
    return false;
  }
  ZoneAttributes attributes;
  if (ReadZone(*zones, zone, attributes) &&
      (attributes.flags & win::kZaFlagsRequireVerification) != 0) {
    const VerificationLift lift(*zones, zone, attributes);
    result = manager.SetZoneMapping(zone, pattern, flags);
  }
  return Succeeded(result);
}

}  // namespace corvane
