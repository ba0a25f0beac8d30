#pragma once

#include "platform/resources.h"

namespace corvane::win32 {

// The resources of the running program's own module.
class Win32Resources final : public Resources {
 public:
  std::vector<std::uint8_t> Load(const ResourceId& name, const ResourceId& type) override;
  std::string LoadTableString(std::uint32_t id) override;
};

}  // namespace corvane::win32
