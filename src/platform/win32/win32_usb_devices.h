#pragma once

// The attached USB devices from the USB stack: every host controller (the fixed names
// \\.\HCD0 to \\.\HCD9, then the host-controller interface class), each walked once by its
// driver key name, its root hub and every hub below it, depth first.

#include "platform/usb_devices.h"

namespace corvane::win32 {

class Win32UsbDevices final : public UsbDevices {
 public:
  std::vector<std::uint32_t> connectedIds() override;
};

}  // namespace corvane::win32
