#pragma once

// The USB devices attached to the PC, as the USB stack describes them.

#include <cstdint>
#include <vector>

namespace corvane {

class UsbDevices {
 public:
  UsbDevices() = default;
  UsbDevices(const UsbDevices&) = delete;
  UsbDevices& operator=(const UsbDevices&) = delete;
  UsbDevices(UsbDevices&&) = delete;
  UsbDevices& operator=(UsbDevices&&) = delete;
  virtual ~UsbDevices() = default;

  // One fresh enumeration: (idVendor << 16) | idProduct from the device descriptor of every
  // attached device that is not a hub, in the order met; two identical devices give the
  // identifier twice. Every failure is local and silent: a controller, hub or port that
  // cannot be read is skipped, and with no USB stack or no rights the list is empty.
  virtual std::vector<std::uint32_t> connectedIds() = 0;
};

}  // namespace corvane
