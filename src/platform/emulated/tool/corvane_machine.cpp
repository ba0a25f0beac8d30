// corvane-machine: creates, shows and reboots an emulated Windows PC (a machine folder), so
// that a person can set one up, look at it and then edit its files by hand.
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/emulated/emulated_platform.h"
#include "platform/registry.h"
#include "platform/win_errors.h"

namespace {

using corvane::emulated::EmulatedPlatform;
using corvane::emulated::MachineFolder;

int Usage() {
  std::fputs(
      "usage: corvane-machine [--machine DIR] show|reboot\n"
      "  show    create the machine if it does not exist and describe it\n"
      "  reboot  carry out the moves and deletions registered for the next restart\n"
      "DIR defaults to the per-user default machine. Exit status 2: bad arguments, or a\n"
      "machine folder that cannot be read whole (its errors on stderr, nothing done).\n",
      stderr);
  return 2;
}

std::string RegistryString(EmulatedPlatform& machine, std::string_view key, std::string_view name) {
  corvane::RegistryKey handle;
  if (machine.registry().OpenKey(corvane::RegistryRoot::kLocalMachine, key, corvane::win::kKeyRead,
                                 handle) != corvane::win::kErrorSuccess) {
    return "(missing)";
  }
  std::string text;
  return handle.ReadString(name, text) == corvane::win::kErrorSuccess ? text : "(missing)";
}

int Show(EmulatedPlatform& machine) {
  const auto& profile = machine.profile();
  const auto& v = profile.version;
  std::printf("machine folder: %s\n", machine.folder().root().string().c_str());
  std::printf("Windows %u.%u.%u %s, %s, user %s, computer %s, %s\n", v.majorVersion, v.minorVersion,
              v.buildNumber, v.servicePack.c_str(), profile.is64Bit() ? "64-bit" : "32-bit",
              profile.userName.c_str(), profile.computerName.c_str(),
              profile.online ? "online" : "offline");
  std::printf(
      "Internet Explorer %s\n",
      RegistryString(machine, R"(SOFTWARE\Microsoft\Internet Explorer)", "Version").c_str());
  std::printf("program path: %s\n", machine.environment().modulePath().c_str());
  const auto moves = machine.emulatedFiles().pendingMoves();
  std::printf("operations waiting for a restart: %zu\n", moves.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string root = MachineFolder::DefaultRoot().string();
  std::string_view command;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--machine" && i + 1 < argc) {
      root = argv[++i];
    } else if (command.empty() && (arg == "show" || arg == "reboot")) {
      command = arg;
    } else {
      return Usage();
    }
  }
  if (command.empty()) return Usage();
  EmulatedPlatform machine(root);
  // A machine that cannot be read whole is neither described nor rebooted: both would act
  // on a PC with parts missing. Creating a new machine is not an error.
  if (const std::string errors = machine.loadErrors(); !errors.empty()) {
    (void)std::fprintf(stderr, "corvane-machine: the machine %s cannot be read whole:\n%s\n",
                       machine.folder().root().string().c_str(), errors.c_str());
    return 2;
  }
  if (command == "reboot") {
    const std::size_t done = machine.emulatedFiles().Reboot();
    std::printf("restarted: %zu pending operation(s) carried out\n", done);
    return 0;
  }
  return Show(machine);
}
