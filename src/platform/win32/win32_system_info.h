#pragma once

#include "platform/system_info.h"

namespace corvane::win32 {

class Win32SystemInfo final : public SystemInfo {
 public:
  std::optional<OsVersionInfo> VersionEx() override;
  std::uint16_t NativeProcessorArchitecture() override;
  std::optional<std::uint32_t> ProductInfo(std::uint32_t major, std::uint32_t minor,
                                           std::uint32_t spMajor, std::uint32_t spMinor) override;
  int ServerR2() override;
};

}  // namespace corvane::win32
