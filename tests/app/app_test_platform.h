#pragma once

// A platform for the application's tests: a scratch emulated PC on Linux, the real one in
// the Windows builds, with an instance lock the test controls.

#include <cstdint>
#include <memory>
#include <string_view>

#include "../platform/forwarding_platform.h"
#include "platform/instance_lock.h"
#include "platform/network.h"
#include "platform/platform.h"
#include "platform/win_errors.h"

#if !defined(_WIN32)
#include "platform/emulated/emulated_platform.h"
#include "platform/emulated/scratch_machine.h"
#endif

namespace corvane::testing {

// Answers every claim with a fixed code; a success hands out a hold.
class FixedInstanceLock final : public InstanceLock {
 public:
  std::uint32_t answer = win::kErrorSuccess;
  int claims = 0;

  std::uint32_t Acquire(std::string_view /*name*/, InstanceHold& hold) override {
    ++claims;
    if (answer == win::kErrorSuccess) hold = InstanceHold(std::make_unique<InstanceHold::Handle>());
    return answer;
  }
};

class TestPlatform final : public ForwardingPlatform {
 public:
  TestPlatform()
#if defined(_WIN32)
      : inner_(CreateDefaultPlatform())
#else
      : inner_(std::make_unique<emulated::EmulatedPlatform>(machine_.folder().root()))
#endif
  {
  }

  InstanceLock& instanceLock() override { return lock; }
  Network& network() override {
    return networkOverride != nullptr ? *networkOverride : inner_->network();
  }

  FixedInstanceLock lock;
  // A scripted network in place of the machine's own, when set.
  Network* networkOverride = nullptr;

 protected:
  Platform& inner() override { return *inner_; }

 private:
#if !defined(_WIN32)
  emulated::ScratchMachine machine_;
#endif
  std::unique_ptr<Platform> inner_;
};

}  // namespace corvane::testing
