#include "usbkey/usb_key_report.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/utf.h"
#include "usbkey/usb_key.h"

namespace corvane {
namespace {

constexpr ComponentState kStateCodeMask = 0x3FFFFFFFU;
constexpr ComponentState kNotInstalledWithInstaller = 5;

// Library text is untrusted bytes; the page gets valid UTF-8.
std::string PageText(const std::string& bytes) { return Utf16ToUtf8(Utf8ToUtf16(bytes)); }

void Report(const CUSBKey& adapter, bool keyAttached, PageStates& states) {
  const UsbKeyInfo& info = adapter.info();
  const std::int32_t c = adapter.category();
  const auto nonZero = [](std::int32_t v) { return v != 0; };
  const auto zero = [](std::int32_t v) { return v == 0; };
  if (keyAttached) {
    if (!info.serialNumbers.empty()) {
      states.push_back(SetStateText(c, 2, PageText(info.serialNumbers.front())));
    }
    if (!info.keyIntact.empty()) {
      states.push_back(SetState(
          c, 3, std::all_of(info.keyIntact.begin(), info.keyIntact.end(), nonZero) ? 0 : 1));
    }
    if (!info.pinRetries.empty()) {
      states.push_back(SetState(
          c, 4, std::any_of(info.pinRetries.begin(), info.pinRetries.end(), zero) ? 1 : 0));
    }
    if (!info.defaultPin.empty()) {
      states.push_back(SetState(
          c, 5, std::any_of(info.defaultPin.begin(), info.defaultPin.end(), nonZero) ? 1 : 0));
    }
    const auto n =
        info.certNames.empty() ? 0 : static_cast<std::int32_t>(info.certNames.front().size());
    states.push_back(SetState(c, 6, n));
    states.push_back(SetState(c, 7, n == 0 ? 1 : 0));
  }
  if (!info.version.empty()) states.push_back(SetStateText(c, 8, PageText(info.version)));
}

}  // namespace

PageStates ReportUsbKeys(const CheckConfig& config) {
  PageStates states;
  for (std::int32_t category = 800; category <= 803; ++category) {
    for (std::int32_t item = 2; item <= 7; ++item) states.push_back(ClearState(category, item));
  }
  for (const CheckItem& item : config.items) {
    if (item.className.empty() || (item.state & kStateCodeMask) == kNotInstalledWithInstaller) {
      continue;
    }
    const std::unique_ptr<CUSBKey> adapter = MakeUsbKeyAdapter(item.className);
    if (adapter == nullptr) continue;
    adapter->ReadKeyInfo();
    // Without its library a vendor shows nothing beyond the clearings.
    if (!adapter->loaded()) continue;
    Report(*adapter, (item.state & kComponentKeyAbsentFlag) == 0, states);
  }
  return states;
}

}  // namespace corvane
