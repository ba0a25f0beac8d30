// Kept apart from resources.cpp so that programs using only ResourceId do not pull in the
// process-wide platform.

#include "platform/platform.h"
#include "platform/resources.h"

namespace corvane {

std::vector<std::uint8_t> LoadResourceBytes(const ResourceId& name, const ResourceId& type) {
  return CurrentPlatform().resources().Load(name, type);
}

}  // namespace corvane
