#include "platform/emulated/emulated_registry.h"
#include "registry_under_test.h"
#include "scratch_machine.h"

namespace corvane {
namespace {

class EmulatedRegistryUnderTest final : public RegistryUnderTest {
 public:
  Registry& registry() override { return registry_; }
  [[nodiscard]] const std::string& scratch() const override { return scratch_; }

 private:
  emulated::ScratchMachine machine_;
  emulated::EmulatedRegistry registry_{machine_.folder(), emulated::RegistryView::kWow64};
  std::string scratch_ = "Software\\CorvaneTest\\Case";
};

}  // namespace

std::unique_ptr<RegistryUnderTest> MakeRegistryUnderTest() {
  return std::make_unique<EmulatedRegistryUnderTest>();
}

}  // namespace corvane
