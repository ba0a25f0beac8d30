// Site patterns and URLs (the configuration's "trust" entries come from the network) through
// the emulated PC's zone map: never a crash, a failed mapping leaves the zone invalid, and an
// https site that was mapped maps to its zone.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "emulated/scratch_machine.h"
#include "platform/emulated/emulated_registry.h"
#include "platform/emulated/emulated_url_zones.h"

namespace {

struct Machine {
  corvane::emulated::ScratchMachine scratch;
  corvane::emulated::EmulatedRegistry registry{scratch.folder(),
                                               corvane::emulated::RegistryView::kWow64};
  corvane::emulated::EmulatedUrlZones zones{registry};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Machine machine;
  if (size < 1) return 0;
  const std::uint32_t zone = data[0] % 5;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);  // NOLINT

  std::unique_ptr<corvane::SecurityManager> manager;
  if (machine.zones.CreateSecurityManager(manager) != 0) std::abort();
  std::uint32_t mapped = 0;
  const auto result = manager->MapUrlToZone(text, mapped, 0);
  if (result < 0 && mapped != corvane::win::kUrlZoneInvalid) std::abort();
  if (result >= 0 && mapped == corvane::win::kUrlZoneInvalid) std::abort();

  // Zones 0 and 1 require nothing, so an https site maps at once.
  const std::string site = "https://" + text;
  if (manager->SetZoneMapping(zone % 2, site, corvane::win::kSzmCreate) == 0) {
    if (manager->MapUrlToZone(site, mapped, 0) != 0 || mapped != zone % 2) std::abort();
    if (manager->SetZoneMapping(zone % 2, site, corvane::win::kSzmDelete) != 0) std::abort();
  }
  return 0;
}
