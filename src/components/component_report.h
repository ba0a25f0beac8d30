#pragma once

// Component detection and what the component rows of the page (category 2, rows 1 to 4)
// show. The rows come back as page states; the dialog sends them.

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "config/check_config.h"
#include "ui/page_state.h"

namespace corvane {

// Fills the state word of every entry of `list`. Always true. (Stand-in: states stay at 7,
// not yet detected.)
bool DetectComponents(std::vector<CheckItem>& list);
// The page row of an item type: 1 "SafeActiveX", 2 "SignActiveX", 3 "UkeyActiveX",
// 4 "driver"; 0 for any other type.
int RowOfType(std::string_view type);
// What entry n (1-based position in config.items) shows in its row; reads and clears
// groupUnreported. (Stand-in: nothing.)
PageStates ComponentStates(const CheckConfig& config, bool configFromServer,
                           std::array<bool, 4>& groupUnreported, std::int32_t n);
// Entry n's row shown as disabled: state 8 in its row; nothing for an entry without a row or
// an n outside the list.
PageStates DisabledComponentStates(const CheckConfig& config, std::int32_t n);

}  // namespace corvane
