#include "platform/platform.h"

#include <utility>

namespace corvane {
namespace {

// The process-wide instance and the override installed by ScopedPlatform. The only
// globals of the system; everything else reaches the OS through them.
Platform*& Override() {
  static Platform* current = nullptr;
  return current;
}

}  // namespace

Platform& CurrentPlatform() {
  if (Platform* installed = Override()) return *installed;
  static const std::unique_ptr<Platform> defaultPlatform = CreateDefaultPlatform();
  return *defaultPlatform;
}

ScopedPlatform::ScopedPlatform(std::unique_ptr<Platform> platform)
    : platform_(std::move(platform)), previous_(Override()) {
  Override() = platform_.get();
}

ScopedPlatform::~ScopedPlatform() { Override() = previous_; }

}  // namespace corvane
