#pragma once

// The environment checks and repairs the dialog runs on its thread. Each check receives the
// CheckConfig, writes its own result flag and returns it; repair true first puts things right.

#include <string>

#include "checks/browser_settings.h"
#include "checks/cache_clearing.h"
#include "checks/registry_settings.h"
#include "config/check_config.h"

namespace corvane {

// CheckRegistry (item 2) is declared in checks/registry_settings.h, the browser settings
// (items 9 to 11) in checks/browser_settings.h, the cache clearings (12, 16) in
// checks/cache_clearing.h.
// The hosts file against the "host" section; sets hostsOk.
bool CheckHostsFile(CheckConfig& config, bool repair);

}  // namespace corvane
