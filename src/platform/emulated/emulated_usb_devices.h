#pragma once

// The emulated PC's USB devices: the machine folder's usb.ini lists what is plugged in, and
// may ask for the Linux host's own devices as well, so that a real key plugged into this PC
// is seen. The file is read afresh at every enumeration, so editing it is plugging and
// unplugging.
//
// usb.ini, one entry a line; blank lines and lines starting with ";" or "#" are ignored, as
// is anything after ";" on a line:
//   096e:0702            a device: idVendor:idProduct, 1 to 4 hexadecimal digits each
//   05e3:0608 hub        a hub: walked, never listed itself
//   mirror = yes         also the host's devices from /sys/bus/usb/devices (no: the default)
//   mirror = /some/dir   the same from another folder laid out as that one (tests)
// The listed devices come first, in file order, then the host's in the order of their
// sysfs names. A host device is one folder with the files idVendor and idProduct (four
// hexadecimal digits each); a folder whose bDeviceClass is 09 is a hub.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/emulated/machine_folder.h"
#include "platform/usb_devices.h"

namespace corvane::emulated {

struct UsbDeviceList {
  std::vector<std::uint32_t> devices;  // (idVendor << 16) | idProduct, hubs left out
  std::filesystem::path mirror;        // empty: the host's devices are not looked at
};

struct UsbDeviceListLoad {
  UsbDeviceList list;
  // One line per problem, "<fileName>:<line>: <what>"; the lines in error are skipped.
  std::string error;
};

// Reads usb.ini's text. Never fails as a whole: bad lines are reported and left out.
UsbDeviceListLoad ParseUsbDeviceList(std::string_view text, std::string_view fileName);

// The host devices below `folder` (sysfs layout), hubs left out, by sorted folder name.
std::vector<std::uint32_t> ReadHostUsbDevices(const std::filesystem::path& folder);

class EmulatedUsbDevices final : public UsbDevices {
 public:
  explicit EmulatedUsbDevices(MachineFolder folder) : folder_(std::move(folder)) {}

  std::vector<std::uint32_t> connectedIds() override;

  [[nodiscard]] std::filesystem::path listFile() const { return folder_.root() / "usb.ini"; }
  // What is wrong with usb.ini now ("" when it is missing or fine). A machine whose list
  // has errors is not read whole: the programs refuse it, as any other bad file.
  [[nodiscard]] std::string loadError() const;

 private:
  UsbDeviceListLoad load() const;

  MachineFolder folder_;
};

}  // namespace corvane::emulated
