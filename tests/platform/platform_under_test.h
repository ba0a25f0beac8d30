#pragma once

// Makes CurrentPlatform() the backend under test for the life of the object: a scratch
// emulated machine natively, the real Windows platform in the Windows builds.

#include <memory>

namespace corvane {

class PlatformUnderTest {
 public:
  PlatformUnderTest();
  PlatformUnderTest(const PlatformUnderTest&) = delete;
  PlatformUnderTest& operator=(const PlatformUnderTest&) = delete;
  ~PlatformUnderTest();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace corvane
