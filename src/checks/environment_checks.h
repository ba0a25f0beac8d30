#pragma once

// The environment checks and repairs the dialog runs on its thread. Each check receives the
// CheckConfig, writes its own result flag and returns it; repair true first puts things right.
// Those not built yet are stand-ins that report failure.

#include <string>

#include "checks/registry_settings.h"
#include "config/check_config.h"

namespace corvane {

// CheckRegistry (item 2) is declared in checks/registry_settings.h.
// The hosts file against the "hosts" section; sets hostsOk.
bool CheckHostsFile(CheckConfig& config, bool repair);
// Home-page policy, zone security levels and trusted sites; set homepageOk,
// securityLevelOk and trustedSitesOk.
bool CheckHomepagePolicy(CheckConfig& config, bool repair);
bool CheckSecurityLevel(CheckConfig& config, bool repair);
bool CheckTrustedSites(CheckConfig& config, bool repair);
// The SSL state cache and the browser cache; whether the clearing succeeded.
bool ClearSslState();
bool ClearBrowserCache();

}  // namespace corvane
