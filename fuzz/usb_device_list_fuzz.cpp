// The emulated PC's usb.ini parser on arbitrary input: it never crashes, every error names a
// line of the input, and the mirror is only ever an absolute folder.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/emulated/emulated_usb_devices.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto load = corvane::emulated::ParseUsbDeviceList(text, "usb.ini");
  const std::size_t lines =
      static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
  for (std::size_t start = 0; start < load.error.size();) {
    const std::size_t end = std::min(load.error.find('\n', start), load.error.size());
    if (std::string_view(load.error).substr(start, 8) != "usb.ini:") std::abort();
    const std::size_t number = std::strtoul(load.error.c_str() + start + 8, nullptr, 10);
    if (number == 0 || number > lines) std::abort();
    start = end + 1;
  }
  if (!load.list.mirror.empty() && !load.list.mirror.is_absolute()) std::abort();
  // Every device listed came from a line of its own.
  if (load.list.devices.size() > lines) std::abort();
  return 0;
}
