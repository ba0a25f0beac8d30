#include <fstream>

#include "config_test_machine.h"
#include "emulated/scratch_machine.h"
#include "platform/emulated/emulated_platform.h"
#include "platform/platform.h"

namespace corvane {

struct ConfigTestMachine::State {
  emulated::ScratchMachine machine;
  std::unique_ptr<ScopedPlatform> platform;
};

ConfigTestMachine::ConfigTestMachine(std::string_view machineIni)
    : state_(std::make_unique<State>()) {
  if (!machineIni.empty()) std::ofstream(state_->machine.folder().machineIni()) << machineIni;
  state_->platform = std::make_unique<ScopedPlatform>(
      std::make_unique<emulated::EmulatedPlatform>(state_->machine.folder().root()));
}

ConfigTestMachine::~ConfigTestMachine() = default;

bool ConfigTestMachine::IsEmulated() { return true; }

}  // namespace corvane
