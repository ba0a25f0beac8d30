#include "platform/win32/win32_usb_devices.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/win32_util.h"

namespace corvane::win32 {
namespace {

// GUID_DEVINTERFACE_USB_HOST_CONTROLLER, written out so that no header has to define it.
constexpr GUID kHostControllerInterface = {
    0x3ABF6F2D, 0x71C4, 0x462A, {0x8A, 0x92, 0x1E, 0x68, 0x61, 0xE6, 0xAF, 0x27}};

using DeviceInfoList =
    UniqueAny<HDEVINFO, &::SetupDiDestroyDeviceInfoList, 0, static_cast<std::uintptr_t>(-1)>;

UniqueHandle OpenDevice(const std::wstring& path) {
  return UniqueHandle(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
}

// The text of a name structure, which follows its length field (and, for connection
// names, the port index), up to the end of `bytes` or its terminating zero.
std::wstring NameText(const std::byte* start, const std::byte* end) {
  std::wstring text;
  for (const std::byte* p = start; p + sizeof(WCHAR) <= end; p += sizeof(WCHAR)) {
    WCHAR unit = 0;
    std::memcpy(&unit, p, sizeof(unit));
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

// The two-call pattern of the name queries: the fixed structure first to learn
// ActualLength, then a buffer of that size. `Name` is one of the USB_*_NAME structures and
// `Text` its name member.
template <typename Name, auto Text>
std::wstring QueryName(HANDLE device, DWORD code, ULONG connectionIndex = 0) {
  Name fixed{};
  if constexpr (requires { fixed.ConnectionIndex; }) fixed.ConnectionIndex = connectionIndex;
  DWORD returned = 0;
  if (::DeviceIoControl(device, code, &fixed, sizeof(fixed), &fixed, sizeof(fixed), &returned,
                        nullptr) == FALSE) {
    return {};
  }
  const std::size_t textOffset =
      static_cast<std::size_t>(reinterpret_cast<const std::byte*>(&(fixed.*Text)) -
                               reinterpret_cast<const std::byte*>(&fixed));
  if (fixed.ActualLength <= sizeof(fixed)) {
    const auto* base = reinterpret_cast<const std::byte*>(&fixed);
    return NameText(base + textOffset, base + sizeof(fixed));
  }
  std::vector<std::byte> buffer(fixed.ActualLength);
  auto* full = reinterpret_cast<Name*>(buffer.data());
  if constexpr (requires { fixed.ConnectionIndex; }) full->ConnectionIndex = connectionIndex;
  if (::DeviceIoControl(device, code, full, fixed.ActualLength, full, fixed.ActualLength, &returned,
                        nullptr) == FALSE) {
    return {};
  }
  return NameText(buffer.data() + textOffset, buffer.data() + buffer.size());
}

class Walk {
 public:
  void controller(HANDLE device) {
    const std::wstring key =
        QueryName<USB_HCD_DRIVERKEY_NAME, &USB_HCD_DRIVERKEY_NAME::DriverKeyName>(
            device, IOCTL_GET_HCD_DRIVERKEY_NAME);
    if (key.empty()) return;
    // A controller reached both by its fixed name and by its interface is walked once.
    if (std::find(seen_.begin(), seen_.end(), key) != seen_.end()) return;
    seen_.push_back(key);
    const std::wstring rootHub = QueryName<USB_ROOT_HUB_NAME, &USB_ROOT_HUB_NAME::RootHubName>(
        device, IOCTL_USB_GET_ROOT_HUB_NAME);
    if (!rootHub.empty()) hub(rootHub);
  }

  std::vector<std::uint32_t> take() { return std::move(ids_); }

 private:
  void hub(const std::wstring& name) {
    const UniqueHandle device = OpenDevice(L"\\\\.\\" + name);
    if (!device.valid()) return;
    USB_NODE_INFORMATION node{};
    DWORD returned = 0;
    if (::DeviceIoControl(device.get(), IOCTL_USB_GET_NODE_INFORMATION, &node, sizeof(node), &node,
                          sizeof(node), &returned, nullptr) == FALSE) {
      return;
    }
    const ULONG ports = node.u.HubInformation.HubDescriptor.bNumberOfPorts;
    for (ULONG port = 1; port <= ports; ++port) this->port(device.get(), port);
  }

  void port(HANDLE hubDevice, ULONG index) {
    // Room for the connection's open pipes as the stack may append them.
    constexpr std::size_t kSize =
        sizeof(USB_NODE_CONNECTION_INFORMATION_EX) + sizeof(USB_PIPE_INFO) * 30;
    std::vector<std::byte> buffer(kSize);
    auto* ex = reinterpret_cast<USB_NODE_CONNECTION_INFORMATION_EX*>(buffer.data());
    ex->ConnectionIndex = index;
    DWORD returned = 0;
    bool isHub = false;
    USB_CONNECTION_STATUS status = NoDeviceConnected;
    USB_DEVICE_DESCRIPTOR descriptor{};
    if (::DeviceIoControl(hubDevice, IOCTL_USB_GET_NODE_CONNECTION_INFORMATION_EX, ex,
                          static_cast<DWORD>(kSize), ex, static_cast<DWORD>(kSize), &returned,
                          nullptr) != FALSE) {
      isHub = ex->DeviceIsHub != FALSE;
      status = ex->ConnectionStatus;
      descriptor = ex->DeviceDescriptor;
    } else {
      // Older stacks know only the first form, which carries the same fields.
      std::fill(buffer.begin(), buffer.end(), std::byte{0});
      auto* old = reinterpret_cast<USB_NODE_CONNECTION_INFORMATION*>(buffer.data());
      old->ConnectionIndex = index;
      if (::DeviceIoControl(hubDevice, IOCTL_USB_GET_NODE_CONNECTION_INFORMATION, old,
                            static_cast<DWORD>(kSize), old, static_cast<DWORD>(kSize), &returned,
                            nullptr) == FALSE) {
        return;
      }
      isHub = old->DeviceIsHub != FALSE;
      status = old->ConnectionStatus;
      descriptor = old->DeviceDescriptor;
    }
    if (isHub) {
      const std::wstring name =
          QueryName<USB_NODE_CONNECTION_NAME, &USB_NODE_CONNECTION_NAME::NodeName>(
              hubDevice, IOCTL_USB_GET_NODE_CONNECTION_NAME, index);
      if (!name.empty()) hub(name);
      return;
    }
    if (status != NoDeviceConnected) {
      ids_.push_back((static_cast<std::uint32_t>(descriptor.idVendor) << 16) |
                     descriptor.idProduct);
    }
  }

  std::vector<std::wstring> seen_;  // driver key names, compared exactly
  std::vector<std::uint32_t> ids_;
};

}  // namespace

std::vector<std::uint32_t> Win32UsbDevices::connectedIds() {
  Walk walk;
  for (int n = 0; n < 10; ++n) {
    const UniqueHandle controller = OpenDevice(L"\\\\.\\HCD" + std::to_wstring(n));
    if (controller.valid()) walk.controller(controller.get());
  }
  const DeviceInfoList list(::SetupDiGetClassDevsW(&kHostControllerInterface, nullptr, nullptr,
                                                   DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
  if (list.valid()) {
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof(data);
    for (DWORD index = 0; ::SetupDiEnumDeviceInterfaces(list.get(), nullptr,
                                                        &kHostControllerInterface, index, &data);
         ++index) {
      DWORD needed = 0;
      ::SetupDiGetDeviceInterfaceDetailW(list.get(), &data, nullptr, 0, &needed, nullptr);
      if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
      std::vector<std::byte> buffer(needed);
      auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
      detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
      if (::SetupDiGetDeviceInterfaceDetailW(list.get(), &data, detail, needed, nullptr, nullptr) ==
          FALSE) {
        continue;
      }
      const UniqueHandle controller = OpenDevice(detail->DevicePath);
      if (controller.valid()) walk.controller(controller.get());
    }
  }
  return walk.take();
}

}  // namespace corvane::win32
