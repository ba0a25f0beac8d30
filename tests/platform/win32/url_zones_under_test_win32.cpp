#include <optional>
#include <string>
#include <vector>

#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_url_zones.h"
#include "platform/win32/win32_util.h"
#include "url_zones_under_test.h"

namespace corvane {
namespace {

constexpr const char* kSettings = R"(Software\Microsoft\Windows\CurrentVersion\Internet Settings)";

void DeleteTree(Registry& registry, const std::string& path) {
  RegistryKey key;
  if (registry.OpenKey(RegistryRoot::kCurrentUser, path, win::kKeyRead, key) != 0) return;
  std::vector<std::string> children;
  key.SubKeyNames(children);
  key.Close();
  for (const std::string& child : children) DeleteTree(registry, path + "\\" + child);
  registry.DeleteKey(RegistryRoot::kCurrentUser, path);
}

// The values of the zones the tests change, as they were.
struct SavedZone {
  std::string key;
  std::vector<std::pair<std::string, std::optional<std::uint32_t>>> values;
};

class Win32UrlZonesUnderTest final : public UrlZonesUnderTest {
 public:
  Win32UrlZonesUnderTest() {
    for (int zone : {2, 3, 4}) {
      SavedZone saved{std::string(kSettings) + "\\Zones\\" + std::to_string(zone), {}};
      RegistryKey key;
      registry_.OpenKey(RegistryRoot::kCurrentUser, saved.key, win::kKeyRead, key);
      for (const char* name : {"CurrentLevel", "RecommendedLevel", "Flags", "1201"}) {
        std::uint32_t value = 0;
        saved.values.emplace_back(name, key.ReadDword(name, value) == 0
                                            ? std::optional<std::uint32_t>(value)
                                            : std::nullopt);
      }
      saved_.push_back(std::move(saved));
    }
  }
  ~Win32UrlZonesUnderTest() override {
    for (const SavedZone& saved : saved_) {
      RegistryKey key;
      if (registry_.OpenKey(RegistryRoot::kCurrentUser, saved.key, win::kKeyWrite, key) != 0) {
        continue;
      }
      for (const auto& [name, value] : saved.values) {
        if (value) {
          key.SetDword(name, *value);
        } else {
          key.DeleteValue(name);
        }
      }
    }
    DeleteTree(registry_, std::string(kSettings) + "\\ZoneMap\\Domains\\" + kZoneTestDomain);
  }
  Win32UrlZonesUnderTest(const Win32UrlZonesUnderTest&) = delete;
  Win32UrlZonesUnderTest& operator=(const Win32UrlZonesUnderTest&) = delete;

  UrlZones& zones() override { return zones_; }
  Registry& registry() override { return registry_; }
  [[nodiscard]] bool isWine() const override {
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
  }

 private:
  win32::Win32Registry registry_;
  win32::Win32UrlZones zones_;
  std::vector<SavedZone> saved_;
};

}  // namespace

std::unique_ptr<UrlZonesUnderTest> MakeUrlZonesUnderTest() {
  return std::make_unique<Win32UrlZonesUnderTest>();
}

}  // namespace corvane
