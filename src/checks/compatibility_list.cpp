#include "checks/compatibility_list.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <string_view>
#include <vector>

#include "checks/registry_settings.h"
#include "checks/user_filter.h"
#include "config/parse_check_config.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "platform/win_errors.h"

namespace corvane {
namespace {

constexpr std::string_view kListKey =
    R"(Software\Microsoft\Internet Explorer\BrowserEmulation\ClearableListData)";
constexpr std::string_view kListValue = "UserFilter";

bool AllSitesInCompatibilityView() {
  ConfigEntry entry;
  entry.text = R"(HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\BrowserEmulation)";
  entry.name = "AllSitesCompatibilityMode";
  entry.type = "reg_dword";
  entry.value = "1";
  return CheckRegistryEntry(entry, false);
}

// The list as it stands, or nothing when there is no usable one.
std::optional<std::vector<std::uint8_t>> ReadList(RegistryKey& key) {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> value;
  if (key.ReadValue(kListValue, type, value) != win::kErrorSuccess || type != win::kRegBinary ||
      !IsUsableUserFilter(value)) {
    return std::nullopt;
  }
  return value;
}

bool CheckList(const ConfigSection& section, bool repair) {
  Registry& registry = CurrentPlatform().registry();
  RegistryKey key;
  if (registry.OpenKey(RegistryRoot::kCurrentUser, kListKey, win::kKeyRead | win::kKeyWrite, key) !=
      win::kErrorSuccess) {
    registry.CreateKey(RegistryRoot::kCurrentUser, kListKey, win::kKeyRead | win::kKeyWrite, key);
  }
  std::optional<std::vector<std::uint8_t>> list;
  if (key.isOpen()) list = ReadList(key);

  // No usable list: the repair writes a new one with every domain, without looking.
  const bool fresh = !list;
  if (fresh) {
    if (!repair) return false;
    list = NewUserFilter();
  }
  bool result = true;
  bool appended = fresh;
  for (const ConfigEntry& entry : section.entries) {
    if (!fresh && UserFilterHasDomain(*list, entry.text)) continue;
    if (!repair) return false;
    if (!AppendUserFilterRecord(*list, entry.text, UserFilterStampAt(std::time(nullptr)))) {
      result = false;  // cannot be recorded; the others still are
    }
    appended = true;
  }
  if (appended && key.SetValue(kListValue, win::kRegBinary, *list) != win::kErrorSuccess) {
    result = false;
  }
  return result;
}

}  // namespace

bool CheckCompatibilityList(CheckConfig& config, bool repair) {
  const ConfigSection* section = FindSection(config, "compatibility");
  config.registryOk =
      section == nullptr || AllSitesInCompatibilityView() || CheckList(*section, repair);
  return config.registryOk;
}

}  // namespace corvane
