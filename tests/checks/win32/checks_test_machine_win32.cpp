#include <random>

#include "checks_test_machine.h"

namespace corvane {

struct ChecksTestMachine::State {
  std::string scratchKey = "Software\\CorvaneTest\\Checks" + std::to_string(std::random_device{}());
};

ChecksTestMachine::ChecksTestMachine(std::string_view /*machineIni*/)
    : state_(std::make_unique<State>()) {
  DeleteTree(RegistryRoot::kCurrentUser, state_->scratchKey);
}

ChecksTestMachine::~ChecksTestMachine() {
  DeleteTree(RegistryRoot::kCurrentUser, state_->scratchKey);
}

bool ChecksTestMachine::IsEmulated() { return false; }

const std::string& ChecksTestMachine::scratchKey() const { return state_->scratchKey; }

}  // namespace corvane
