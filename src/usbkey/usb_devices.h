#pragma once

// Whether a USB key of a known make is plugged in, asked of the USB stack directly (no vendor
// library is involved).

#include <cstdint>
#include <span>
#include <vector>

namespace corvane {

// (idVendor << 16) | idProduct of an attached USB device.
using UsbDeviceId = std::uint32_t;

// One fresh enumeration of the attached devices (hubs left out), in the order met, with
// duplicates. Empty when there is no USB stack or no right to read it.
std::vector<UsbDeviceId> ListConnectedUsbIds();

// Enumerates once, then true as soon as one of `wanted`, in order, is attached. False for
// an empty list (the enumeration still runs).
bool AnyUsbIdConnected(std::span<const UsbDeviceId> wanted);

}  // namespace corvane
