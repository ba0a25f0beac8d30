#include "platform/emulated/machine_folder.h"

#include <cstdlib>
#include <utility>

namespace corvane::emulated {

MachineFolder::MachineFolder(std::filesystem::path root) : root_(std::move(root)) {}

std::vector<std::filesystem::path> MachineFolder::windowsFolders() const {
  return {driveC(), registryDir(), root_ / "certs" / "user", root_ / "certs" / "machine"};
}

std::vector<std::filesystem::path> MachineFolder::windowsFiles() const {
  return {root_ / "drive_c.attributes", root_ / "drive_c.pending_moves"};
}

std::vector<std::filesystem::path> MachineFolder::controlFiles() const {
  return {machineIni(), root_ / "network.ini", root_ / "cache.ini", root_ / "usb.ini",
          root_ / "certs" / "bank-test-ca.pem"};
}

std::filesystem::path MachineFolder::DefaultRoot() {
  if (const char* explicitRoot = std::getenv("CORVANE_MACHINE"); explicitRoot && *explicitRoot) {
    return explicitRoot;
  }
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) {
    return std::filesystem::path(data) / "corvane" / "machine";
  }
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home && *home ? home : ".") / ".local" / "share" / "corvane" /
         "machine";
}

}  // namespace corvane::emulated
