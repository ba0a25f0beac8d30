#include "platform_under_test.h"

namespace corvane {

// The Windows build's default platform is the real one; nothing to install.
struct PlatformUnderTest::State {};

PlatformUnderTest::PlatformUnderTest() : state_(std::make_unique<State>()) {}
PlatformUnderTest::~PlatformUnderTest() = default;

}  // namespace corvane
