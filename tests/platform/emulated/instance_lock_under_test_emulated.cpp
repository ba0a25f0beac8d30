#include "instance_lock_under_test.h"
#include "platform/emulated/emulated_instance_lock.h"
#include "scratch_machine.h"

namespace corvane {
namespace {

class EmulatedInstanceLockUnderTest final : public InstanceLockUnderTest {
 public:
  InstanceLock& lock() override { return lock_; }
  [[nodiscard]] std::string uniqueName() const override {
    return "{00F157BD-8A90-4E44-B955-4E3C41C6047E}";  // the folder is the test's own
  }

 private:
  emulated::ScratchMachine scratch_;
  emulated::EmulatedInstanceLock lock_{scratch_.folder().root() / "locks"};
};

}  // namespace

std::unique_ptr<InstanceLockUnderTest> MakeInstanceLockUnderTest() {
  return std::make_unique<EmulatedInstanceLockUnderTest>();
}

}  // namespace corvane
