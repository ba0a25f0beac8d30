#pragma once

#include "platform/instance_lock.h"

namespace corvane::win32 {

// A named kernel mutex, created with initial ownership and default security.
class Win32InstanceLock final : public InstanceLock {
 public:
  std::uint32_t Acquire(std::string_view name, InstanceHold& hold) override;
};

}  // namespace corvane::win32
