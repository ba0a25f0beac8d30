#include "platform/emulated/embedded_resources.h"
#include "resources_under_test.h"

namespace corvane {

std::unique_ptr<Resources> MakeResourcesUnderTest() {
  return std::make_unique<emulated::EmulatedResources>();
}

}  // namespace corvane
