#include "platform/emulated/emulated_platform.h"
#include "platform_under_test.h"
#include "scratch_machine.h"

namespace corvane {

struct PlatformUnderTest::State {
  emulated::ScratchMachine machine;
  ScopedPlatform platform{std::make_unique<emulated::EmulatedPlatform>(machine.folder().root())};
};

PlatformUnderTest::PlatformUnderTest() : state_(std::make_unique<State>()) {}
PlatformUnderTest::~PlatformUnderTest() = default;

}  // namespace corvane
