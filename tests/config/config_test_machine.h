#pragma once

// The machine a configuration test runs on: a fresh emulated PC natively, the real system in
// the Windows builds.

#include <memory>
#include <string_view>

namespace corvane {

class ConfigTestMachine {
 public:
  // machineIni: the emulated PC's machine.ini (empty for the default Windows 7 PC); the real
  // system ignores it.
  explicit ConfigTestMachine(std::string_view machineIni = {});
  ConfigTestMachine(const ConfigTestMachine&) = delete;
  ConfigTestMachine& operator=(const ConfigTestMachine&) = delete;
  ~ConfigTestMachine();

  // Whether the machine is the emulated PC, whose Windows version the test chose.
  static bool IsEmulated();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace corvane
