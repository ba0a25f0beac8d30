#pragma once

// Which thread a field belongs to, stated in code. ThreadOwned<T> holds fields that one
// thread uses (the dialog's loop thread) and asserts on every access that it is that thread;
// Guarded<T> holds fields shared between threads and hands them out only under its mutex.
// The assertions are on in builds with assertions (debug and the sanitizer build) and cost
// nothing in release builds (NDEBUG).

#include <atomic>
#include <cassert>
#include <mutex>
#include <thread>
#include <utility>

namespace corvane {

// Binds to the first thread that asks and answers whether the asking thread is that one.
class ThreadChecker {
 public:
  [[nodiscard]] bool onBoundThread() const {
    const std::thread::id self = std::this_thread::get_id();
    std::thread::id expected{};
    if (owner_.compare_exchange_strong(expected, self)) return true;
    return expected == self;
  }

 private:
  mutable std::atomic<std::thread::id> owner_{};
};

template <typename T>
class ThreadOwned {
 public:
  template <typename... Args>
  explicit ThreadOwned(Args&&... args) : value_(std::forward<Args>(args)...) {}

  T* operator->() {
    check();
    return &value_;
  }
  const T* operator->() const {
    check();
    return &value_;
  }
  T& operator*() {
    check();
    return value_;
  }
  const T& operator*() const {
    check();
    return value_;
  }

 private:
  void check() const {
#if !defined(NDEBUG)
    assert(checker_.onBoundThread() && "a field of one thread used on another");
#endif
  }

  T value_{};
#if !defined(NDEBUG)
  ThreadChecker checker_;
#endif
};

template <typename T>
class Guarded {
 public:
  // The value, held under the mutex for as long as this lives.
  class Locked {
   public:
    Locked(std::mutex& mutex, T& value) : lock_(mutex), value_(value) {}
    T* operator->() { return &value_; }
    T& operator*() { return value_; }

   private:
    std::unique_lock<std::mutex> lock_;
    T& value_;
  };

  Locked lock() { return Locked(mutex_, value_); }

 private:
  std::mutex mutex_;
  T value_{};
};

}  // namespace corvane
