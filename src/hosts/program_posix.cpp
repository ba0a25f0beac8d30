#include <filesystem>
#include <iostream>
#include <system_error>
#include <utility>
#include <vector>

#include "hosts/program_os.h"
#include "platform/emulated/emulated_platform.h"
#include "program_version.h"

namespace corvane::program {

void PrepareConsole(bool /*terminalPage*/) {}

std::vector<std::string> ProgramArguments(int argc, char** argv) { return {argv, argv + argc}; }

namespace {

// --machine's folder or the default machine.
std::filesystem::path MachineRoot(const hosts::HostOptions& options) {
  return options.machine.empty() ? emulated::MachineFolder::DefaultRoot()
                                 : std::filesystem::path(options.machine);
}

}  // namespace

// The emulated PC. A machine that cannot be read
// whole is refused: the checks would answer for a PC with parts missing.
bool InstallPlatform(const hosts::HostOptions& options, std::unique_ptr<ScopedPlatform>& scope) {
  auto machine = std::make_unique<emulated::EmulatedPlatform>(MachineRoot(options));
  if (const std::string errors = machine->loadErrors(); !errors.empty()) {
    std::cerr << "corvane: the machine " << machine->folder().root().string()
              << " cannot be read whole; nothing was run:\n"
              << errors << '\n';
    return false;
  }
  // This process is the machine's program: its file is the one the self-update reads and
  // replaces, and starting it again starts this host program.
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  // A restart after an update runs confined and carries on this run's transcript.
  std::vector<std::filesystem::path> writable;
  if (!options.transcript.empty()) {
    writable.push_back(std::filesystem::absolute(options.transcript, error));
  }
  if (error || machine->runAsProgram(self, bank::kProgramVersionMS, bank::kProgramVersionLS,
                                     std::move(writable)) != 0) {
    std::cerr << "corvane: the program file cannot be installed on the machine "
              << machine->folder().root().string() << '\n';
    return false;
  }
  scope = std::make_unique<ScopedPlatform>(std::move(machine));
  return true;
}

int EndForAnotherInstance(const hosts::HostOptions& options) {
  std::cerr << "corvane: another instance holds the machine " << MachineRoot(options).string()
            << "; this one ends\n";
  return kAnotherInstanceStatus;
}

}  // namespace corvane::program
