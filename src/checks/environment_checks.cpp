#include "checks/environment_checks.h"

namespace corvane {

bool CheckHomepagePolicy(CheckConfig& config, bool /*repair*/) {
  config.homepageOk = false;
  return false;
}

bool CheckSecurityLevel(CheckConfig& config, bool /*repair*/) {
  config.securityLevelOk = false;
  return false;
}

bool CheckTrustedSites(CheckConfig& config, bool /*repair*/) {
  config.trustedSitesOk = false;
  return false;
}

bool ClearSslState() { return false; }

bool ClearBrowserCache() { return false; }

}  // namespace corvane
