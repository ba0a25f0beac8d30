#include <filesystem>
#include <iostream>
#include <utility>

#include "hosts/program_os.h"
#include "platform/emulated/emulated_platform.h"

namespace corvane::program {

void PrepareConsole() {}

std::vector<std::string> ProgramArguments(int argc, char** argv) { return {argv, argv + argc}; }

// The emulated PC: --machine's folder or the default machine.
bool InstallPlatform(const hosts::HostOptions& options, std::unique_ptr<ScopedPlatform>& scope) {
  auto machine = std::make_unique<emulated::EmulatedPlatform>(
      options.machine.empty() ? emulated::MachineFolder::DefaultRoot()
                              : std::filesystem::path(options.machine));
  if (const std::string errors = machine->loadErrors(); !errors.empty()) {
    std::cerr << errors << '\n';
  }
  scope = std::make_unique<ScopedPlatform>(std::move(machine));
  return true;
}

}  // namespace corvane::program
