#include "usbkey/usb_devices.h"

#include <algorithm>

#include "platform/platform.h"
#include "platform/usb_devices.h"

namespace corvane {

std::vector<UsbDeviceId> ListConnectedUsbIds() {
  return CurrentPlatform().usbDevices().connectedIds();
}

bool AnyUsbIdConnected(std::span<const UsbDeviceId> wanted) {
  const std::vector<UsbDeviceId> attached = ListConnectedUsbIds();
  return std::any_of(wanted.begin(), wanted.end(), [&](UsbDeviceId id) {
    return std::find(attached.begin(), attached.end(), id) != attached.end();
  });
}

}  // namespace corvane
