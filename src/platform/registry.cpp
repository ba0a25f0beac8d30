#include "platform/registry.h"

#include <array>

#include "platform/utf.h"
#include "platform/win_errors.h"

namespace corvane {

std::string_view RegistryRootName(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kLocalMachine:
      return "HKEY_LOCAL_MACHINE";
    case RegistryRoot::kCurrentUser:
      return "HKEY_CURRENT_USER";
    case RegistryRoot::kClassesRoot:
      return "HKEY_CLASSES_ROOT";
  }
  return {};
}

std::uint32_t RegistryKey::ProbeValue(std::string_view name, RegistryValueInfo& info) {
  if (!handle_) return win::kErrorInvalidHandle;
  return handle_->QueryValue(name, nullptr, 0, info);
}

std::uint32_t RegistryKey::QueryValue(std::string_view name, std::span<std::uint8_t> buffer,
                                      RegistryValueInfo& info) {
  if (!handle_) return win::kErrorInvalidHandle;
  // A zero-length buffer still asks for data (and so reports kErrorMoreData for a non-empty
  // value); only ProbeValue passes no buffer at all.
  std::uint8_t none = 0;
  std::uint8_t* data = buffer.empty() ? &none : buffer.data();
  return handle_->QueryValue(name, data, static_cast<std::uint32_t>(buffer.size()), info);
}

std::uint32_t RegistryKey::ReadValue(std::string_view name, std::uint32_t& type,
                                     std::vector<std::uint8_t>& data) {
  // The value may grow between the probe and the read; go round until it fits.
  RegistryValueInfo info;
  std::uint32_t error = ProbeValue(name, info);
  while (error == win::kErrorSuccess) {
    data.resize(info.size);
    error = QueryValue(name, data, info);
    if (error == win::kErrorMoreData) {
      error = win::kErrorSuccess;
      continue;
    }
    if (error == win::kErrorSuccess) {
      data.resize(info.size);
      type = info.type;
    }
    break;
  }
  return error;
}

std::uint32_t RegistryKey::ReadString(std::string_view name, std::string& text) {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
  if (const std::uint32_t error = ReadValue(name, type, data); error != win::kErrorSuccess) {
    return error;
  }
  if (type != win::kRegSz && type != win::kRegExpandSz) return win::kErrorUnsupportedType;
  std::u16string wide(data.size() / 2, u'\0');
  for (std::size_t i = 0; i < wide.size(); ++i) {
    wide[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8U));
  }
  // Stored strings normally end in one NUL, but nothing forces writers to add it.
  if (const auto end = wide.find(u'\0'); end != std::u16string::npos) wide.resize(end);
  text = Utf16ToUtf8(wide);
  return win::kErrorSuccess;
}

std::uint32_t RegistryKey::ReadDword(std::string_view name, std::uint32_t& value) {
  std::array<std::uint8_t, 4> bytes{};
  RegistryValueInfo info;
  const std::uint32_t error = QueryValue(name, bytes, info);
  if (error == win::kErrorMoreData) return win::kErrorUnsupportedType;
  if (error != win::kErrorSuccess) return error;
  if (info.type != win::kRegDword || info.size != 4) return win::kErrorUnsupportedType;
  value = bytes[0] | (bytes[1] << 8U) | (bytes[2] << 16U) |
          (static_cast<std::uint32_t>(bytes[3]) << 24U);
  return win::kErrorSuccess;
}

std::uint32_t RegistryKey::SetValue(std::string_view name, std::uint32_t type,
                                    std::span<const std::uint8_t> data) {
  if (!handle_) return win::kErrorInvalidHandle;
  return handle_->SetValue(name, type, data);
}

std::uint32_t RegistryKey::SetString(std::string_view name, std::string_view text,
                                     std::uint32_t type) {
  const std::u16string wide = Utf8ToUtf16(text);
  std::vector<std::uint8_t> data;
  data.reserve(wide.size() * 2 + 2);
  for (const char16_t unit : wide) {
    data.push_back(static_cast<std::uint8_t>(unit & 0xFFU));
    data.push_back(static_cast<std::uint8_t>(unit >> 8U));
  }
  data.push_back(0);
  data.push_back(0);
  return SetValue(name, type, data);
}

std::uint32_t RegistryKey::SetDword(std::string_view name, std::uint32_t value) {
  const std::array<std::uint8_t, 4> bytes = {
      static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8U),
      static_cast<std::uint8_t>(value >> 16U), static_cast<std::uint8_t>(value >> 24U)};
  return SetValue(name, win::kRegDword, bytes);
}

std::uint32_t RegistryKey::DeleteValue(std::string_view name) {
  if (!handle_) return win::kErrorInvalidHandle;
  return handle_->DeleteValue(name);
}

std::uint32_t RegistryKey::SubKeyNames(std::vector<std::string>& names) {
  if (!handle_) return win::kErrorInvalidHandle;
  return handle_->SubKeyNames(names);
}

std::uint32_t RegistryKey::ValueNames(std::vector<std::string>& names) {
  if (!handle_) return win::kErrorInvalidHandle;
  return handle_->ValueNames(names);
}

std::uint32_t Registry::QueryUserSpecificValue(std::string_view subKey, std::string_view name,
                                               bool ignoreCurrentUser,
                                               std::span<std::uint8_t> buffer,
                                               RegistryValueInfo& info) {
  // The machine's value is asked whenever the user's read fails, for whatever reason; the
  // user's failure stands when the machine has no such key.
  std::uint32_t error = win::kErrorFileNotFound;
  bool userKey = false;
  if (!ignoreCurrentUser) {
    RegistryKey key;
    if (OpenKey(RegistryRoot::kCurrentUser, subKey, win::kKeyRead, key) == win::kErrorSuccess) {
      userKey = true;
      error = key.QueryValue(name, buffer, info);
      if (error == win::kErrorSuccess) return error;
    }
  }
  RegistryKey key;
  const std::uint32_t opened = OpenKey(RegistryRoot::kLocalMachine, subKey, win::kKeyRead, key);
  if (opened == win::kErrorSuccess) return key.QueryValue(name, buffer, info);
  return userKey ? error : opened;
}

}  // namespace corvane
