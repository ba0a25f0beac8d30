#include "checks/network_checks.h"

#include "platform/network.h"
#include "platform/platform.h"

namespace corvane {

// The connection types are not looked at: connected or not is all the check says.
bool IsInternetConnected() { return CurrentPlatform().network().ConnectedState(nullptr); }

bool CheckNameResolution(CheckConfig& config) {
  config.dnsOk = false;
  return false;
}

int ProbeServices(CheckConfig& config) {
  config.serviceOk = false;
  config.serviceProbeDone = true;
  return 0;
}

}  // namespace corvane
