#include <fstream>

#include "checks_test_machine.h"
#include "emulated/scratch_machine.h"
#include "platform/emulated/emulated_platform.h"
#include "platform/platform.h"

namespace corvane {

struct ChecksTestMachine::State {
  emulated::ScratchMachine machine;
  std::unique_ptr<ScopedPlatform> platform;
  std::string scratchKey = "Software\\CorvaneTest\\Checks";
};

ChecksTestMachine::ChecksTestMachine(std::string_view machineIni)
    : state_(std::make_unique<State>()) {
  if (!machineIni.empty()) std::ofstream(state_->machine.folder().machineIni()) << machineIni;
  state_->platform = std::make_unique<ScopedPlatform>(
      std::make_unique<emulated::EmulatedPlatform>(state_->machine.folder().root()));
}

ChecksTestMachine::~ChecksTestMachine() = default;

bool ChecksTestMachine::IsEmulated() { return true; }

const std::string& ChecksTestMachine::scratchKey() const { return state_->scratchKey; }

}  // namespace corvane
