#include "platform/instance_lock.h"

#include <gtest/gtest.h>

#include "instance_lock_under_test.h"
#include "platform/win_errors.h"

namespace corvane {
namespace {

// Within one process a second claim already sees the first, on Windows as here, so these
// cases need no second process; the emulated tests add one.
TEST(InstanceLockTest, SecondClaimSeesTheFirstUntilItIsReleased) {
  const auto under = MakeInstanceLockUnderTest();
  const std::string name = under->uniqueName();
  InstanceHold first;
  ASSERT_EQ(under->lock().Acquire(name, first), win::kErrorSuccess);
  EXPECT_TRUE(first.held());

  InstanceHold second;
  EXPECT_EQ(under->lock().Acquire(name, second), win::kErrorAlreadyExists);
  EXPECT_FALSE(second.held());

  InstanceHold other;
  EXPECT_EQ(under->lock().Acquire(name + "-other", other), win::kErrorSuccess);

  first.Release();
  EXPECT_EQ(under->lock().Acquire(name, second), win::kErrorSuccess);
  EXPECT_TRUE(second.held());
}

}  // namespace
}  // namespace corvane
