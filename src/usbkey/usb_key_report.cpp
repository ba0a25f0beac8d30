#include "usbkey/usb_key_report.h"

#include <cstdint>

namespace corvane {

PageStates UsbKeyStates(const CheckConfig& /*config*/) {
  PageStates states;
  for (std::int32_t category = 800; category <= 803; ++category) {
    for (std::int32_t item = 2; item <= 7; ++item) states.push_back(ClearState(category, item));
  }
  return states;
}

}  // namespace corvane
