#include "app/page_bridge.h"

#include <string>
#include <variant>

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

void PageBridge::show(const PageStates& states) {
  for (const PageState& state : states) {
    if (const auto* number = std::get_if<std::int32_t>(&state.value);
        number != nullptr && !state.moreTexts.empty()) {
      std::vector<ScriptArg> args = {state.category, state.item, *number};
      args.insert(args.end(), state.moreTexts.begin(), state.moreTexts.end());
      callScript("setState", args);
    } else if (number != nullptr) {
      reportState(state.category, state.item, *number);
    } else if (const auto* text = std::get_if<std::string>(&state.value)) {
      reportStateText(state.category, state.item, *text);
    } else {
      callScript("clearState", {state.category, state.item});
    }
  }
}

void PageBridge::reportSummary(const CheckConfig& config) {
  reportState(0, 3, SummaryBits(config));
}

std::int32_t SummaryBits(const CheckConfig& config) {
  std::int32_t bits = 0;
  const bool allChecksPassed = config.homepageOk && config.registryOk && config.hostsOk &&
                               config.connected && config.dnsOk && config.serviceOk &&
                               config.securityLevelOk && config.trustedSitesOk && config.rootCertOk;
  if (!allChecksPassed) bits |= 1;
  for (const CheckItem& item : config.items) {
    // A driver's top four bits are flags (key absent, add-on disabled) that do not make it
    // out of order; every other item counts its whole state word.
    const ComponentState state = item.type == "driver" ? (item.state & 0x0FFFFFFFU) : item.state;
    if (state != 0) {
      bits |= 2;
      break;
    }
  }
  return bits;
}

}  // namespace corvane
