#include "checks/registry_value_exists.h"

#include "checks/registry_path.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "platform/win_errors.h"

namespace corvane {

bool RegistryValueExists(std::string_view location) {
  const std::optional<RegistryPath> path = ParseCommaRegistryPath(location);
  if (!path) return false;
  RegistryKey key;
  if (CurrentPlatform().registry().OpenKey(path->root, path->subKey, win::kKeyRead | win::kKeyWrite,
                                           key) != win::kErrorSuccess) {
    return false;
  }
  if (path->valueName.empty()) return true;
  RegistryValueInfo info;
  return key.ProbeValue(path->valueName, info) == win::kErrorSuccess;
}

}  // namespace corvane
