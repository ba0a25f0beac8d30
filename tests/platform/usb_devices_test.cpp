// The attached USB devices on either backend: a full enumeration always ends with a list
// (empty where the machine has no USB stack, as a Wine prefix or a new emulated PC), and two
// enumerations in a row agree while nothing is plugged in or out.

#include "platform/usb_devices.h"

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform_under_test.h"

namespace corvane {
namespace {

TEST(UsbDevicesTest, EnumerationEndsAndIsRepeatable) {
  const PlatformUnderTest platform;
  const std::vector<std::uint32_t> first = CurrentPlatform().usbDevices().connectedIds();
  const std::vector<std::uint32_t> second = CurrentPlatform().usbDevices().connectedIds();
  EXPECT_EQ(first, second);
}

}  // namespace
}  // namespace corvane
