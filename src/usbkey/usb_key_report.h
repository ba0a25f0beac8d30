#pragma once

// The USB key report of the page (categories 800 to 803). The states come back as data; the
// dialog sends them.

#include "config/check_config.h"
#include "ui/page_state.h"

namespace corvane {

// Clears items 2 to 7 of the four key categories, then, for each entry of config.items in
// order whose `class` names an adapter and whose driver is installed (state code not 5), reads
// the vendor's library and reports: items 2 to 7 of the first key (3 to 5 over all keys) when
// the entry's key is attached (bit 0x80000000 clear), item 8 (the driver version) either way.
// Texts from a library reach the page as valid UTF-8 (bad bytes become U+FFFD). A missing
// library shows nothing; one that lacks exports or crashes shows what could be read; the other
// vendors are reported all the same.
PageStates ReportUsbKeys(const CheckConfig& config);

}  // namespace corvane
