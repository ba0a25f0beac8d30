#pragma once

// Items 9, 10 and 11: the home-page policy, the security levels of the browser's zones and
// the bank's trusted sites. Zone and security managers come from the platform
// (platform/url_zones.h), are created per call and released before it returns. A manager
// that cannot be created fails the check (in either mode); nothing is thrown.

#include <cstdint>
#include <string_view>

#include "config/check_config.h"

namespace corvane {

class SecurityManager;

// The policy value "Homepage" under the key
// HKCU\SOFTWARE\Policies\Microsoft\Internet Explorer\Control Panel forbids changing the home
// page when it is a REG_DWORD (4 bytes) other than 0. Check: fails then. Repair: deletes the
// value, and passes when the deletion succeeded. A key that cannot be opened, a missing value
// or one of another type or size passes. Sets homepageOk.
bool CheckHomepagePolicy(CheckConfig& config, bool repair);

// The Internet (3) and Restricted sites (4) zones at their recommended template level, the
// Trusted sites zone (2) at Low. Check mode stops at the first zone that is off (Internet,
// Trusted sites, Restricted sites in turn). Repair sets each zone that is off to its level
// (Trusted sites also gets Low as its recommended level) and copies that template's per-
// action values into it; the results of those calls are not used. A zone whose attributes
// cannot be read is passed over. Sets securityLevelOk.
bool CheckSecurityLevel(CheckConfig& config, bool repair);

// Every URL of the "trust" section maps to the Trusted sites zone (a URL that cannot be
// mapped counts as not). Check mode stops at the first that does not; repair adds each to
// the zone with AddToZone and passes whatever the mappings did (the check after it tells).
// No "trust" section passes. Sets trustedSitesOk.
bool CheckTrustedSites(CheckConfig& config, bool repair);

// SetZoneMapping(zone, pattern, flags). When the zone refuses with E_ACCESSDENIED because it
// requires https, its "requires server verification" flag is lifted, the mapping tried once
// more, and the flag set again whatever the retry did. Whether the last mapping succeeded.
bool AddToZone(SecurityManager& manager, std::uint32_t zone, std::string_view pattern,
               std::uint32_t flags);

}  // namespace corvane
