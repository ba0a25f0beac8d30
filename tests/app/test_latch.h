#pragma once

// A one-shot signal between test threads on a mutex and a condition variable. std::latch is
// not used: with the mingw-w64 runtime of GCC 12 its waits can miss a wake-up and hang.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace corvane::testing {

class TestLatch {
 public:
  void countDown() {
    std::lock_guard lock(mutex_);
    done_ = true;
    changed_.notify_all();
  }
  void wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return done_; });
  }
  // True when counted down within `timeout`.
  bool waitFor(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return done_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool done_ = false;
};

}  // namespace corvane::testing
