#pragma once

// The USB key report of the page (categories 800 to 803).

#include "app/page_host.h"
#include "config/check_config.h"

namespace corvane {

// Clears items 2 to 7 of the four key categories, then reports what the vendor libraries say
// about the attached keys. (Stand-in: clears only; no vendor library is read yet.)
void ReportUsbKeys(PageHost& page, const CheckConfig& config);

}  // namespace corvane
