#include "platform/win32/win32_registry.h"

#include <array>
#include <memory>

#include "platform/win32/win32_util.h"
#include "platform/win_errors.h"

namespace corvane::win32 {
namespace {

HKEY RootKey(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kLocalMachine:
      return HKEY_LOCAL_MACHINE;
    case RegistryRoot::kCurrentUser:
      return HKEY_CURRENT_USER;
    case RegistryRoot::kClassesRoot:
      return HKEY_CLASSES_ROOT;
  }
  return nullptr;
}

class Win32KeyHandle final : public RegistryKeyHandle {
 public:
  explicit Win32KeyHandle(UniqueHkey key) : key_(std::move(key)) {}

  std::uint32_t QueryValue(std::string_view name, std::uint8_t* data, std::uint32_t capacity,
                           RegistryValueInfo& info) override {
    DWORD type = 0;
    DWORD size = capacity;
    const LONG error = ::RegQueryValueExW(key_.get(), Wide(name).c_str(), nullptr, &type,
                                          reinterpret_cast<LPBYTE>(data), &size);
    if (error == ERROR_SUCCESS || error == ERROR_MORE_DATA) {
      info.type = type;
      info.size = size;
    }
    return static_cast<std::uint32_t>(error);
  }

  std::uint32_t SetValue(std::string_view name, std::uint32_t type,
                         std::span<const std::uint8_t> data) override {
    return static_cast<std::uint32_t>(::RegSetValueExW(
        key_.get(), Wide(name).c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())));
  }

  std::uint32_t DeleteValue(std::string_view name) override {
    return static_cast<std::uint32_t>(::RegDeleteValueW(key_.get(), Wide(name).c_str()));
  }

  std::uint32_t SubKeyNames(std::vector<std::string>& names) override {
    names.clear();
    std::array<wchar_t, 256> name{};  // key names are at most 255 characters
    for (DWORD index = 0;; ++index) {
      auto length = static_cast<DWORD>(name.size());
      const LONG error = ::RegEnumKeyExW(key_.get(), index, name.data(), &length, nullptr, nullptr,
                                         nullptr, nullptr);
      if (error == ERROR_NO_MORE_ITEMS) return win::kErrorSuccess;
      if (error != ERROR_SUCCESS) return static_cast<std::uint32_t>(error);
      names.push_back(Narrow(std::wstring_view(name.data(), length)));
    }
  }

  std::uint32_t ValueNames(std::vector<std::string>& names) override {
    names.clear();
    std::wstring name(16384, L'\0');  // value names are at most 16383 characters
    for (DWORD index = 0;; ++index) {
      auto length = static_cast<DWORD>(name.size());
      const LONG error = ::RegEnumValueW(key_.get(), index, name.data(), &length, nullptr, nullptr,
                                         nullptr, nullptr);
      if (error == ERROR_NO_MORE_ITEMS) return win::kErrorSuccess;
      if (error != ERROR_SUCCESS) return static_cast<std::uint32_t>(error);
      names.push_back(Narrow(std::wstring_view(name.data(), length)));
    }
  }

 private:
  UniqueHkey key_;
};

}  // namespace

std::uint32_t Win32Registry::OpenKey(RegistryRoot root, std::string_view subKey,
                                     std::uint32_t access, RegistryKey& key) {
  key.Close();
  UniqueHkey opened;
  const LONG error = ::RegOpenKeyExW(RootKey(root), Wide(subKey).c_str(), 0, access, opened.put());
  if (error != ERROR_SUCCESS) return static_cast<std::uint32_t>(error);
  key = RegistryKey(std::make_unique<Win32KeyHandle>(std::move(opened)));
  return win::kErrorSuccess;
}

std::uint32_t Win32Registry::CreateKey(RegistryRoot root, std::string_view subKey,
                                       std::uint32_t access, RegistryKey& key, bool* created) {
  key.Close();
  UniqueHkey made;
  DWORD disposition = 0;
  const LONG error =
      ::RegCreateKeyExW(RootKey(root), Wide(subKey).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        access, nullptr, made.put(), &disposition);
  if (error != ERROR_SUCCESS) return static_cast<std::uint32_t>(error);
  key = RegistryKey(std::make_unique<Win32KeyHandle>(std::move(made)));
  if (created != nullptr) *created = disposition == REG_CREATED_NEW_KEY;
  return win::kErrorSuccess;
}

std::uint32_t Win32Registry::DeleteKey(RegistryRoot root, std::string_view subKey,
                                       std::uint32_t access) {
  const std::wstring wide = Wide(subKey);
  const std::uint32_t view = access & (win::kKeyWow64View32 | win::kKeyWow64View64);
  if (view != 0) {
    // RegDeleteKeyExW is missing from 32-bit Windows XP, where there is only one view anyway.
    using DeleteKeyEx = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);
    if (HMODULE advapi = ::GetModuleHandleW(L"advapi32.dll")) {
      if (const auto deleteKeyEx = reinterpret_cast<DeleteKeyEx>(
              reinterpret_cast<void*>(::GetProcAddress(advapi, "RegDeleteKeyExW")))) {
        return static_cast<std::uint32_t>(deleteKeyEx(RootKey(root), wide.c_str(), view, 0));
      }
    }
  }
  return static_cast<std::uint32_t>(::RegDeleteKeyW(RootKey(root), wide.c_str()));
}

}  // namespace corvane::win32
