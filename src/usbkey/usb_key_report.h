#pragma once

// What the USB key report of the page (categories 800 to 803) shows. The states come back as
// data; the dialog sends them.

#include "config/check_config.h"
#include "ui/page_state.h"

namespace corvane {

// Clears items 2 to 7 of the four key categories, then what the vendor libraries say about
// the attached keys. (Stand-in: the clearing only; no vendor library is read yet.)
PageStates UsbKeyStates(const CheckConfig& config);

}  // namespace corvane
