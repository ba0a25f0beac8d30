#include "checks/network_checks.h"

namespace corvane {

bool IsInternetConnected() { return true; }

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
