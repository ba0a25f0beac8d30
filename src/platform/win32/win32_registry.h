#pragma once

// The real registry through the wide Win32 calls.

#include "platform/registry.h"

namespace corvane::win32 {

class Win32Registry final : public Registry {
 public:
  std::uint32_t OpenKey(RegistryRoot root, std::string_view subKey, std::uint32_t access,
                        RegistryKey& key) override;
  std::uint32_t CreateKey(RegistryRoot root, std::string_view subKey, std::uint32_t access,
                          RegistryKey& key, bool* created = nullptr) override;
  std::uint32_t DeleteKey(RegistryRoot root, std::string_view subKey,
                          std::uint32_t access = 0) override;
  std::uint32_t QueryUserSpecificValue(std::string_view subKey, std::string_view name,
                                       bool ignoreCurrentUser, std::span<std::uint8_t> buffer,
                                       RegistryValueInfo& info) override;
};

}  // namespace corvane::win32
