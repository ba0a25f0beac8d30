#include "platform/emulated/emulated_usb_devices.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <system_error>

#include "platform/emulated/machine_files.h"
#include "support/hex_number.h"

namespace corvane::emulated {
namespace {

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// A vendor or product id is 1 to 4 hexadecimal digits, nothing else.
constexpr std::size_t kUsbIdDigits = 4;

std::string ReadSmallFile(const std::filesystem::path& path, bool& ok) {
  ok = false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  ok = !in.bad();
  return std::move(text).str();
}

constexpr std::string_view kHostUsbFolder = "/sys/bus/usb/devices";

}  // namespace

UsbDeviceListLoad ParseUsbDeviceList(std::string_view text, std::string_view fileName) {
  UsbDeviceListLoad load;
  std::size_t number = 0;
  for (std::size_t start = 0; start <= text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++number;
    if (const std::size_t comment = line.find(';'); comment != std::string_view::npos) {
      line = line.substr(0, comment);
    }
    line = Trim(line);
    if (line.empty() || line.front() == '#') continue;
    const auto fail = [&](std::string_view what) {
      load.error +=
          std::string(fileName) + ":" + std::to_string(number) + ": " + std::string(what) + "\n";
    };
    if (const std::size_t equals = line.find('='); equals != std::string_view::npos) {
      const std::string_view key = Trim(line.substr(0, equals));
      const std::string_view value = Trim(line.substr(equals + 1));
      if (key != "mirror") {
        fail("unknown setting (only \"mirror\")");
      } else if (value == "no") {
        load.list.mirror.clear();
      } else if (value == "yes") {
        load.list.mirror = kHostUsbFolder;
      } else if (value.starts_with('/')) {
        load.list.mirror = std::filesystem::path(value);
      } else {
        fail("mirror is yes, no or an absolute folder");
      }
      continue;
    }
    const std::size_t blank = line.find_first_of(" \t");
    const std::string_view id = line.substr(0, blank);
    const std::string_view rest =
        blank == std::string_view::npos ? std::string_view{} : Trim(line.substr(blank));
    const std::size_t colon = id.find(':');
    const auto vendor = colon == std::string_view::npos
                            ? std::nullopt
                            : ParseHexNumber(id.substr(0, colon), kUsbIdDigits);
    const auto product = colon == std::string_view::npos
                             ? std::nullopt
                             : ParseHexNumber(id.substr(colon + 1), kUsbIdDigits);
    if (!vendor || !product) {
      fail("expected vendor:product in hexadecimal");
      continue;
    }
    if (rest == "hub") continue;
    if (!rest.empty()) {
      fail("only \"hub\" may follow a device");
      continue;
    }
    load.list.devices.push_back((*vendor << 16) | *product);
  }
  if (!load.error.empty()) load.error.pop_back();
  return load;
}

std::vector<std::uint32_t> ReadHostUsbDevices(const std::filesystem::path& folder) {
  std::error_code ec;
  std::vector<std::filesystem::path> entries;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    entries.push_back(it->path());
  }
  std::sort(entries.begin(), entries.end());
  std::vector<std::uint32_t> ids;
  for (const std::filesystem::path& entry : entries) {
    bool ok = false;
    const std::string vendorText = ReadSmallFile(entry / "idVendor", ok);
    if (!ok) continue;  // an interface, not a device
    const std::string productText = ReadSmallFile(entry / "idProduct", ok);
    if (!ok) continue;
    const std::string deviceClass = ReadSmallFile(entry / "bDeviceClass", ok);
    if (ok && Trim(deviceClass) == "09") continue;  // a hub
    const auto vendor = ParseHexNumber(Trim(vendorText), kUsbIdDigits);
    const auto product = ParseHexNumber(Trim(productText), kUsbIdDigits);
    if (!vendor || !product) continue;
    ids.push_back((*vendor << 16) | *product);
  }
  return ids;
}

UsbDeviceListLoad EmulatedUsbDevices::load() const {
  const std::filesystem::path path = listFile();
  std::string text;
  const MachineFileStatus read =
      ReadMachineFile(path.parent_path(), path.filename(), text, kMaxMachineText);
  if (read == MachineFileStatus::kMissing) return {};
  // A link planted in the machine folder is never followed.
  if (read == MachineFileStatus::kLink || read == MachineFileStatus::kNotRegular) {
    return {{}, path.string() + ":0: not a plain file"};
  }
  if (read != MachineFileStatus::kOk) return {{}, path.string() + ":0: cannot be read"};
  return ParseUsbDeviceList(text, path.string());
}

std::string EmulatedUsbDevices::loadError() const { return load().error; }

std::vector<std::uint32_t> EmulatedUsbDevices::connectedIds() {
  UsbDeviceListLoad loaded = load();
  std::vector<std::uint32_t> ids = std::move(loaded.list.devices);
  if (!loaded.list.mirror.empty()) {
    const std::vector<std::uint32_t> host = ReadHostUsbDevices(loaded.list.mirror);
    ids.insert(ids.end(), host.begin(), host.end());
  }
  return ids;
}

}  // namespace corvane::emulated
