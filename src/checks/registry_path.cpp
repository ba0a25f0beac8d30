#include "checks/registry_path.h"

namespace corvane {

RegistryRoot RegistryRootFromName(std::string_view name) {
  std::string upper(name);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  if (upper == "HKLM" || upper == "HKEY_LOCAL_MACHINE") return RegistryRoot::kLocalMachine;
  if (upper == "HKCU" || upper == "HKEY_CURRENT_USER") return RegistryRoot::kCurrentUser;
  if (upper == "HKCR" || upper == "HKEY_CLASSES_ROOT") return RegistryRoot::kClassesRoot;
  return RegistryRoot::kCurrentUser;
}

std::optional<RegistryPath> ParseBackslashRegistryPath(std::string_view text) {
  const std::size_t slash = text.find('\\');
  if (slash == std::string_view::npos) return std::nullopt;
  return RegistryPath{
      RegistryRootFromName(text.substr(0, slash)), std::string(text.substr(slash + 1)), {}};
}

std::optional<RegistryPath> ParseCommaRegistryPath(std::string_view text) {
  const std::size_t first = text.find(',');
  if (first == std::string_view::npos) return std::nullopt;
  const std::size_t second = text.find(',', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  return RegistryPath{RegistryRootFromName(text.substr(0, first)),
                      std::string(text.substr(first + 1, second - first - 1)),
                      std::string(text.substr(second + 1))};
}

}  // namespace corvane
