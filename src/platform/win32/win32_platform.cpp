#include "platform/win32/win32_platform.h"

#include <memory>

namespace corvane {

std::unique_ptr<Platform> CreateDefaultPlatform() {
  return std::make_unique<win32::Win32Platform>();
}

}  // namespace corvane
