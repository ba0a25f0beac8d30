#pragma once

// Component detection and the component rows of the page (category 2, rows 1 to 4).

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "app/page_host.h"
#include "config/check_config.h"

namespace corvane {

// Fills the state word of every entry of `list`. Always true. (Stand-in: states stay at 7,
// not yet detected.)
bool DetectComponents(std::vector<CheckItem>& list);
// The page row of an item type: 1 "SafeActiveX", 2 "SignActiveX", 3 "UkeyActiveX",
// 4 "driver"; 0 for any other type.
int RowOfType(std::string_view type);
// Reports entry n (1-based position in config.items) to its row; reads and clears
// groupUnreported. (Stand-in: reports nothing.)
void ReportComponent(PageHost& page, const CheckConfig& config, bool configFromServer,
                     std::array<bool, 4>& groupUnreported, std::int32_t n);
// Reports entry n's row as disabled: setState(2, row, 8); nothing for an entry without a row.
void ReportDisabledComponent(PageHost& page, const CheckConfig& config, std::int32_t n);

}  // namespace corvane
