// SHRegGetUSValue for Win32Registry, apart from the rest of the registry calls because it
// comes from shlwapi.

#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_util.h"

namespace corvane::win32 {

std::uint32_t Win32Registry::QueryUserSpecificValue(std::string_view subKey, std::string_view name,
                                                    bool ignoreCurrentUser,
                                                    std::span<std::uint8_t> buffer,
                                                    RegistryValueInfo& info) {
  // As RegistryKey::QueryValue: a zero-length buffer still asks for data.
  std::uint8_t none = 0;
  void* data = buffer.empty() ? &none : buffer.data();
  DWORD type = 0;
  auto size = static_cast<DWORD>(buffer.size());
  const LSTATUS error = ::SHRegGetUSValueW(Wide(subKey).c_str(), Wide(name).c_str(), &type, data,
                                           &size, ignoreCurrentUser ? TRUE : FALSE, nullptr, 0);
  if (error == ERROR_SUCCESS || error == ERROR_MORE_DATA) {
    info.type = type;
    info.size = size;
  }
  return static_cast<std::uint32_t>(error);
}

}  // namespace corvane::win32
