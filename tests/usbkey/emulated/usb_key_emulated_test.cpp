// What only the emulated PC can set up: a library lacking exports, and a real Windows DLL,
// which cannot be loaded on Linux.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "key_machine.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/windows_path.h"
#include "usbkey/usb_key.h"
#include "usbkey/usb_key_report.h"

namespace corvane {
namespace {

std::string HostFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {(std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()};
}

TEST(UsbKeyEmulatedTest, MissingExportsSkipTheirStepsOnly) {
  testing::KeyMachine pc;
  const std::string bytes = HostFile(CORVANE_STANDIN_USB_KEY_PARTIAL_LIBRARY);
  ASSERT_FALSE(bytes.empty());
  ASSERT_EQ(CurrentPlatform().files().writeFile(PathJoin(pc.programFolder(), "BHDLL.dll"), bytes),
            0U);
  pc.describe("BHDLL.dll",
              "version = 1.0\n[key]\nserial = HH1\ncerts = A\nintact = 1\ndefault_pin = 1\n");
  CHuahongUSBKey adapter;
  adapter.ReadKeyInfo();
  const UsbKeyInfo& info = adapter.info();
  EXPECT_EQ(info.vendor, "Huahong");
  EXPECT_EQ(info.version, "1.0");
  EXPECT_EQ(info.serialNumbers, std::vector<std::string>{"HH1"});
  EXPECT_TRUE(info.certNames.empty());                      // no GetCertCN
  EXPECT_TRUE(info.pinRetries.empty());                     // no GetPINRetry
  EXPECT_EQ(info.keyIntact, std::vector<std::int32_t>{1});  // GetKeyFile alone
  EXPECT_EQ(info.defaultPin, std::vector<std::int32_t>{1});
}

TEST(UsbKeyEmulatedTest, AWindowsDllIsNoLibraryHere) {
  testing::KeyMachine pc;
  ASSERT_EQ(
      CurrentPlatform().files().writeFile(PathJoin(pc.programFolder(), "TC_RZ_LR.dll"),
                                          std::string("MZ\x90\0", 4) + std::string(200, '\0')),
      0U);
  CTianchengUSBKey adapter;
  EXPECT_FALSE(adapter.loaded());
  adapter.ReadKeyInfo();
  EXPECT_EQ(adapter.info().vendor, "Tiancheng");
  EXPECT_TRUE(adapter.info().serialNumbers.empty());
}

}  // namespace
}  // namespace corvane
