#include "platform/emulated/emulated_system_info.h"
#include "scratch_machine.h"
#include "system_info_under_test.h"

namespace corvane {
namespace {

class EmulatedSystemInfoUnderTest final : public SystemInfoUnderTest {
 public:
  SystemInfo& systemInfo() override { return info_; }

 private:
  emulated::ScratchMachine machine_;
  emulated::EmulatedSystemInfo info_{emulated::LoadMachineProfile(machine_.folder()).profile};
};

}  // namespace

std::unique_ptr<SystemInfoUnderTest> MakeSystemInfoUnderTest() {
  return std::make_unique<EmulatedSystemInfoUnderTest>();
}

}  // namespace corvane
