#pragma once

// The text form in which the configuration names a registry location:
//   backslash form  ROOT\SUB\KEY          (entries of the "registry" section)
//   comma form      ROOT,SUB\KEY,VALUE    (detect rules of type "reg")
// Root names are upper-cased (ASCII letters) and compared exactly with HKLM /
// HKEY_LOCAL_MACHINE, HKCU / HKEY_CURRENT_USER and HKCR / HKEY_CLASSES_ROOT; any other root
// name, HKU included, means HKEY_CURRENT_USER.

#include <optional>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace corvane {

struct RegistryPath {
  RegistryRoot root = RegistryRoot::kCurrentUser;
  std::string subKey;     // empty names the root key itself
  std::string valueName;  // comma form only; empty asks for the key alone
};

// The root key a root name stands for.
RegistryRoot RegistryRootFromName(std::string_view name);

// ROOT\SUB\KEY: split at the first backslash. Nothing when there is no backslash.
std::optional<RegistryPath> ParseBackslashRegistryPath(std::string_view text);

// ROOT,SUB\KEY,VALUE: the root before the first comma, the sub key up to the second, the
// value name (which may hold further commas) after it. Nothing with fewer than two commas.
std::optional<RegistryPath> ParseCommaRegistryPath(std::string_view text);

}  // namespace corvane
