#pragma once

// The instance lock the conformance tests use: natively one whose lock files live in a
// folder of the test's own, under Wine the real named mutexes.

#include <memory>
#include <string>

#include "platform/instance_lock.h"

namespace corvane {

class InstanceLockUnderTest {
 public:
  virtual ~InstanceLockUnderTest() = default;
  virtual InstanceLock& lock() = 0;
  // A lock name that no other test or program uses.
  [[nodiscard]] virtual std::string uniqueName() const = 0;
};

std::unique_ptr<InstanceLockUnderTest> MakeInstanceLockUnderTest();

}  // namespace corvane
