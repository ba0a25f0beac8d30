#include "platform/emulated/machine_folder.h"

#include <cstdlib>
#include <utility>

namespace corvane::emulated {

MachineFolder::MachineFolder(std::filesystem::path root) : root_(std::move(root)) {}

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
