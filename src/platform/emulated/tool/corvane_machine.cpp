// corvane-machine: creates, shows and reboots an emulated Windows PC (a machine folder), so
// that a person can set one up, look at it and then edit its files by hand.
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

#include "platform/emulated/emulated_platform.h"
#include "platform/emulated/program_image.h"
#include "platform/registry.h"
#include "platform/win_errors.h"

namespace {

using corvane::emulated::EmulatedPlatform;
using corvane::emulated::MachineFolder;

int Usage() {
  std::fputs(
      "usage: corvane-machine [--machine DIR] show|reboot\n"
      "       corvane-machine program-image a.b.c.d FILE\n"
      "  show    create the machine if it does not exist and describe it\n"
      "  reboot  carry out the moves and deletions registered for the next restart\n"
      "  program-image  write a program file as the machine installs it, with that file\n"
      "          version, to FILE (a host path): a newer program for an update server\n"
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

// "a.b.c.d", each at most 65535, as the two halves of a file version.
bool ParseVersion(std::string_view text, std::uint32_t& high, std::uint32_t& low) {
  std::uint32_t parts[4] = {};
  std::size_t index = 0;
  bool digit = false;
  for (const char c : text) {
    if (c == '.' && digit && index < 3) {
      ++index;
      digit = false;
    } else if (c >= '0' && c <= '9' && parts[index] <= 6553) {
      parts[index] = (parts[index] * 10) + static_cast<std::uint32_t>(c - '0');
      digit = true;
    } else {
      return false;
    }
  }
  if (index != 3 || !digit || parts[0] > 65535 || parts[1] > 65535 || parts[2] > 65535 ||
      parts[3] > 65535) {
    return false;
  }
  high = (parts[0] << 16U) | parts[1];
  low = (parts[2] << 16U) | parts[3];
  return true;
}

int WriteProgramImage(std::string_view version, const char* file) {
  std::uint32_t high = 0;
  std::uint32_t low = 0;
  if (!ParseVersion(version, high, low)) return Usage();
  const std::string image = corvane::emulated::MakeProgramImage(high, low);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(image.data(), static_cast<std::streamsize>(image.size()));
  out.close();
  if (!out) {
    (void)std::fprintf(stderr, "corvane-machine: cannot write %s\n", file);
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::string_view(argv[1]) == "program-image") {
    return argc == 4 ? WriteProgramImage(argv[2], argv[3]) : Usage();
  }
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
