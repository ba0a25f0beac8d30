// The emulated PC's USB devices: usb.ini as the machine's owner writes it, the host's own
// devices mirrored from a sysfs-like folder, and a bad list refusing the machine.

#include "platform/emulated/emulated_usb_devices.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/emulated/emulated_platform.h"
#include "scratch_machine.h"

namespace corvane::emulated {
namespace {

TEST(UsbDeviceListTest, ParsesDevicesHubsAndTheMirrorAndNamesEveryBadLine) {
  struct Case {
    const char* text;
    std::vector<std::uint32_t> devices;
    std::filesystem::path mirror;
    const char* error;
  };
  const Case cases[] = {
      {"", {}, {}, ""},
      {"096e:0702\r\n05E3:0608 hub\n; a comment\n# another\n1:2 ; the key\n",
       {0x096E0702U, 0x00010002U},
       {},
       ""},
      {"096e:0702\n096e:0702\n", {0x096E0702U, 0x096E0702U}, {}, ""},
      {"mirror = yes\n", {}, "/sys/bus/usb/devices", ""},
      {"mirror = /tmp/x\nmirror = no\n", {}, {}, ""},
      {"12345:1\nzz:1\n1:2 key\nmirror = maybe\ncolour = red\n1:2\n",
       {0x00010002U},
       {},
       "usb.ini:1: expected vendor:product in hexadecimal\n"
       "usb.ini:2: expected vendor:product in hexadecimal\n"
       "usb.ini:3: only \"hub\" may follow a device\n"
       "usb.ini:4: mirror is yes, no or an absolute folder\n"
       "usb.ini:5: unknown setting (only \"mirror\")"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const UsbDeviceListLoad load = ParseUsbDeviceList(c.text, "usb.ini");
    EXPECT_EQ(load.list.devices, c.devices);
    EXPECT_EQ(load.list.mirror, c.mirror);
    EXPECT_EQ(load.error, c.error);
  }
}

void Put(const std::filesystem::path& file, const char* text) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file) << text;
}

TEST(EmulatedUsbDevicesTest, ListedDevicesThenTheHostsWithoutHubsOrInterfaces) {
  const ScratchMachine machine;
  const std::filesystem::path sys = machine.folder().root() / "fake-sys";
  Put(sys / "1-1" / "idVendor", "096e\n");
  Put(sys / "1-1" / "idProduct", "0702\n");
  Put(sys / "1-1" / "bDeviceClass", "00\n");
  Put(sys / "1-1:1.0" / "bInterfaceClass", "03\n");  // an interface: no device ids
  Put(sys / "usb1" / "idVendor", "1d6b\n");          // the root hub
  Put(sys / "usb1" / "idProduct", "0002\n");
  Put(sys / "usb1" / "bDeviceClass", "09\n");
  EmulatedPlatform platform(machine.folder().root());
  EXPECT_TRUE(platform.usbDevices().connectedIds().empty());
  Put(machine.folder().root() / "usb.ini", ("1234:5678\nmirror = " + sys.string() + "\n").c_str());
  EXPECT_EQ(platform.usbDevices().connectedIds(),
            (std::vector<std::uint32_t>{0x12345678U, 0x096E0702U}));
}

TEST(EmulatedUsbDevicesTest, ABadListOrALinkMakesTheMachineUnreadable) {
  const ScratchMachine machine;
  {
    const EmulatedPlatform platform(machine.folder().root());
    EXPECT_EQ(platform.loadErrors(), "");
  }
  const std::filesystem::path list = machine.folder().root() / "usb.ini";
  Put(list, "1:2\nnot a device\n");
  {
    const EmulatedPlatform platform(machine.folder().root());
    EXPECT_EQ(platform.loadErrors(), list.string() + ":2: expected vendor:product in hexadecimal");
  }
  std::filesystem::remove(list);
  std::filesystem::create_symlink("/etc/hostname", list);
  EmulatedPlatform platform(machine.folder().root());
  EXPECT_EQ(platform.loadErrors(), list.string() + ":0: not a plain file");
  EXPECT_TRUE(platform.usbDevices().connectedIds().empty());
}

}  // namespace
}  // namespace corvane::emulated
