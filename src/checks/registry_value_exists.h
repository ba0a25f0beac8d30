#pragma once

// Whether a registry value (or key) exists, for detect rules of type "reg".

#include <string_view>

namespace corvane {

// `location` is a registry path in comma form, ROOT,SUB\KEY,VALUE (checks/registry_path.h).
// True when the key opens with read and write access and, unless VALUE is empty, the value
// exists, whatever its type. False for a location with fewer than two commas.
bool RegistryValueExists(std::string_view location);

}  // namespace corvane
