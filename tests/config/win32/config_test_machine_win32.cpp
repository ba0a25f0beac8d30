#include "config_test_machine.h"

namespace corvane {

struct ConfigTestMachine::State {};

ConfigTestMachine::ConfigTestMachine(std::string_view /*machineIni*/) {}

ConfigTestMachine::~ConfigTestMachine() = default;

bool ConfigTestMachine::IsEmulated() { return false; }

}  // namespace corvane
