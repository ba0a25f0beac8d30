#pragma once

// System information of an emulated PC, from its machine.ini (see machine_profile.h).

#include "platform/emulated/machine_profile.h"
#include "platform/system_info.h"

namespace corvane::emulated {

class EmulatedSystemInfo final : public SystemInfo {
 public:
  explicit EmulatedSystemInfo(MachineProfile profile) : profile_(std::move(profile)) {}

  std::optional<OsVersionInfo> VersionEx() override { return profile_.version; }
  std::uint16_t NativeProcessorArchitecture() override { return profile_.architecture; }
  std::optional<std::uint32_t> ProductInfo(std::uint32_t /*major*/, std::uint32_t /*minor*/,
                                           std::uint32_t /*spMajor*/,
                                           std::uint32_t /*spMinor*/) override {
    return profile_.productInfo;
  }
  int ServerR2() override { return profile_.serverR2; }

 private:
  MachineProfile profile_;
};

}  // namespace corvane::emulated
