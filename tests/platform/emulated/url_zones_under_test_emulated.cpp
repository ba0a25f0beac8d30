#include "platform/emulated/emulated_registry.h"
#include "platform/emulated/emulated_url_zones.h"
#include "scratch_machine.h"
#include "url_zones_under_test.h"

namespace corvane {
namespace {

class EmulatedUrlZonesUnderTest final : public UrlZonesUnderTest {
 public:
  UrlZones& zones() override { return zones_; }
  Registry& registry() override { return registry_; }
  [[nodiscard]] bool isWine() const override { return false; }

 private:
  emulated::ScratchMachine machine_;
  emulated::EmulatedRegistry registry_{machine_.folder(), emulated::RegistryView::kWow64};
  emulated::EmulatedUrlZones zones_{registry_};
};

}  // namespace

std::unique_ptr<UrlZonesUnderTest> MakeUrlZonesUnderTest() {
  return std::make_unique<EmulatedUrlZonesUnderTest>();
}

}  // namespace corvane
