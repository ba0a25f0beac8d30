#include "app/thread_ownership.h"

#include <gtest/gtest.h>

#include <thread>

#include "test_latch.h"

namespace corvane {
namespace {

TEST(ThreadCheckerTest, BindsToTheFirstThreadThatAsks) {
  ThreadChecker checker;
  bool onFirst = false;
  bool onSecond = true;
  testing::TestLatch bound;
  testing::TestLatch release;
  // The first thread stays alive while the others ask, so no other thread can reuse its id.
  std::thread first([&] {
    onFirst = checker.onBoundThread();
    bound.countDown();
    release.wait();
  });
  bound.wait();
  EXPECT_FALSE(checker.onBoundThread());
  std::thread([&] { onSecond = checker.onBoundThread(); }).join();
  release.countDown();
  first.join();
  EXPECT_TRUE(onFirst);
  EXPECT_FALSE(onSecond);
}

TEST(GuardedTest, HandsTheValueOutUnderItsMutexOnly) {
  Guarded<int> counter;
  std::thread adders[4];
  for (auto& adder : adders) {
    adder = std::thread([&] {
      for (int i = 0; i < 10000; ++i) ++*counter.lock();
    });
  }
  for (auto& adder : adders) adder.join();
  EXPECT_EQ(*counter.lock(), 40000);
}

#if !defined(NDEBUG)
TEST(ThreadOwnedDeathTest, AnAccessFromAnotherThreadAsserts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        ThreadOwned<int> value(1);
        ++*value;
        std::thread([&] { ++*value; }).join();
      },
      "one thread used on another");
}
#endif

}  // namespace
}  // namespace corvane
