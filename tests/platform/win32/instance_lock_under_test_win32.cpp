#include <random>

#include "instance_lock_under_test.h"
#include "platform/win32/win32_instance_lock.h"

namespace corvane {
namespace {

class Win32InstanceLockUnderTest final : public InstanceLockUnderTest {
 public:
  InstanceLock& lock() override { return lock_; }
  [[nodiscard]] std::string uniqueName() const override { return name_; }

 private:
  win32::Win32InstanceLock lock_;
  std::string name_ = "CorvaneTest-" + std::to_string(std::random_device{}());
};

}  // namespace

std::unique_ptr<InstanceLockUnderTest> MakeInstanceLockUnderTest() {
  return std::make_unique<Win32InstanceLockUnderTest>();
}

}  // namespace corvane
