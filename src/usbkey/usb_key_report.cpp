#include "usbkey/usb_key_report.h"

#include <cstdint>

namespace corvane {

void ReportUsbKeys(PageHost& page, const CheckConfig& /*config*/) {
  for (std::int32_t category = 800; category <= 803; ++category) {
    for (std::int32_t item = 2; item <= 7; ++item) {
      page.callScript("clearState", {category, item});
    }
  }
}

}  // namespace corvane
