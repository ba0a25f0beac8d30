#include "platform/win32/win32_resources.h"
#include "resources_under_test.h"

namespace corvane {

std::unique_ptr<Resources> MakeResourcesUnderTest() {
  return std::make_unique<win32::Win32Resources>();
}

}  // namespace corvane
