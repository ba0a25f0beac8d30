#include "components/component_report.h"

namespace corvane {

bool DetectComponents(std::vector<CheckItem>& /*list*/) { return true; }

int RowOfType(std::string_view type) {
  if (type == "SafeActiveX") return 1;
  if (type == "SignActiveX") return 2;
  if (type == "UkeyActiveX") return 3;
  if (type == "driver") return 4;
  return 0;
}

PageStates ComponentStates(const CheckConfig& /*config*/, bool /*configFromServer*/,
                           std::array<bool, 4>& /*groupUnreported*/, std::int32_t /*n*/) {
  return {};
}

PageStates DisabledComponentStates(const CheckConfig& config, std::int32_t n) {
  if (n < 1 || static_cast<std::size_t>(n) > config.items.size()) return {};
  const int row = RowOfType(config.items[static_cast<std::size_t>(n) - 1].type);
  if (row == 0) return {};
  return {SetState(2, row, 8)};
}

}  // namespace corvane
