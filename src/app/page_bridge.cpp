#include "app/page_bridge.h"

namespace corvane {

win::HResult PageBridge::callScript(std::string_view name, const std::vector<ScriptArg>& args) {
  return host_.callScript(name, args);
}

void PageBridge::reportState(std::int32_t category, std::int32_t item, std::int32_t value) {
  callScript("setState", {category, item, value});
}

void PageBridge::reportStateText(std::int32_t category, std::int32_t item, std::string_view text) {
  callScript("setState", {category, item, std::string(text)});
}

void PageBridge::reportProgress(std::int32_t item, std::int32_t percent) {
  reportState(0, item, percent);
}

void PageBridge::reportStatus(std::int32_t code) { reportState(0, 2, code); }

void PageBridge::reportSummary(const CheckConfig& config) {
  reportState(0, 3, SummaryBits(config));
}

std::int32_t SummaryBits(const CheckConfig& config) {
  std::int32_t bits = 0;
  const bool allPassed = config.homepageOk && config.registryOk && config.hostsOk &&
                         config.connected && config.dnsOk && config.serviceOk &&
                         config.securityLevelOk && config.trustedSitesOk && config.rootCertOk;
  if (!allPassed) bits |= 1;
  for (const CheckItem& item : config.items) {
    const ComponentState code = item.type == "driver" ? (item.state & 0x0FFFFFFFU) : item.state;
    if (code != 0) {
      bits |= 2;
      break;
    }
  }
  return bits;
}

}  // namespace corvane
