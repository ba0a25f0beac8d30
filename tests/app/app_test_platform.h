#pragma once

// A platform for the application's tests: a scratch emulated PC on Linux, the real one in
// the Windows builds, with an instance lock the test controls.

#include <cstdint>
#include <memory>
#include <string_view>

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

class TestPlatform final : public Platform {
 public:
  TestPlatform()
#if defined(_WIN32)
      : inner_(CreateDefaultPlatform())
#else
      : inner_(std::make_unique<emulated::EmulatedPlatform>(machine_.folder().root()))
#endif
  {
  }

  Environment& environment() override { return inner_->environment(); }
  FileSystem& files() override { return inner_->files(); }
  Registry& registry() override { return inner_->registry(); }
  SystemInfo& systemInfo() override { return inner_->systemInfo(); }
  Resources& resources() override { return inner_->resources(); }
  Processes& processes() override { return inner_->processes(); }
  InstanceLock& instanceLock() override { return lock; }
  Network& network() override {
    return networkOverride != nullptr ? *networkOverride : inner_->network();
  }
  CertificateStores& certificateStores() override { return inner_->certificateStores(); }
  Libraries& libraries() override { return inner_->libraries(); }
  UrlZones& urlZones() override { return inner_->urlZones(); }
  BrowserCache& browserCache() override { return inner_->browserCache(); }
  UsbDevices& usbDevices() override { return inner_->usbDevices(); }

  FixedInstanceLock lock;
  // A scripted network in place of the machine's own, when set.
  Network* networkOverride = nullptr;

 private:
#if !defined(_WIN32)
  emulated::ScratchMachine machine_;
#endif
  std::unique_ptr<Platform> inner_;
};

}  // namespace corvane::testing
