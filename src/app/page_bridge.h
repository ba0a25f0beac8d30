#pragma once

// The system's side of the page: the calls into the page's script with their codes. The
// only code that calls setState and clearState; modules below the dialog hand it page
// states as data.

#include <cstdint>
#include <string_view>
#include <vector>

#include "app/page_host.h"
#include "config/check_config.h"
#include "ui/page_state.h"

namespace corvane {

class PageBridge {
 public:
  explicit PageBridge(PageHost& host) : host_(host) {}

  win::HResult callScript(std::string_view name, const std::vector<ScriptArg>& args);
  void reportState(std::int32_t category, std::int32_t item, std::int32_t value);
  void reportStateText(std::int32_t category, std::int32_t item, std::string_view text);
  void reportProgress(std::int32_t item, std::int32_t percent);
  void reportStatus(std::int32_t code);
  // Each state in order: setState with its number or text, clearState without a value.
  void show(const PageStates& states);
  // The result line: bit 0 a check failed, bit 1 an item of the item list is not in order.
  void reportSummary(const CheckConfig& config);

 private:
  PageHost& host_;
};

// The summary bits that reportSummary sends.
std::int32_t SummaryBits(const CheckConfig& config);

}  // namespace corvane
