#pragma once

// An event loop on virtual time for tests. Due timers run in the order of (due time, arming
// order); when nothing is runnable, time jumps to the next due timer. Workers started through
// track() are waited for on the real clock before time moves on, so what they post lands at
// the virtual moment they were started and every run is the same.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "app/event_loop.h"
#include "app/worker_thread.h"

namespace corvane {

class VirtualEventLoop final : public EventLoop {
 public:
  VirtualEventLoop();

  void setTimerHandler(TimerHandler handler) override;
  void setTimer(int id, std::uint32_t ms) override;
  void killTimer(int id) override;
  void post(std::function<void()> task) override;
  // Runs until quit() or until nothing is left (no task, no timer, no tracked worker).
  void run() override;
  void quit() override;
  [[nodiscard]] bool empty() const override;
  [[nodiscard]] std::uint64_t nowMs() const override;

  // Runs until nothing is left; false when `maxSteps` handlers ran first (a loop that never
  // settles, such as a timer that re-arms itself for ever).
  bool runUntilIdle(std::size_t maxSteps = 100000);
  // Runs everything due up to the virtual time `deadlineMs`, then sets the clock there.
  void runUntil(std::uint64_t deadlineMs);
  // Whether timer `id` is armed, and when it is due.
  [[nodiscard]] bool armed(int id) const;
  [[nodiscard]] std::uint64_t dueAt(int id) const;

  // Wraps a worker body: the loop counts it as running from now until the body returns.
  WorkerBody track(WorkerBody body);
  // A starter for the dialog that tracks every worker it starts.
  WorkerStarter starter();

 private:
  struct Timer {
    std::uint64_t due = 0;
    std::uint64_t sequence = 0;
  };
  enum class Step { kRan, kIdle, kQuit, kDeadline };

  // Runs one task or due timer; waits for tracked workers before time moves on.
  Step step(std::uint64_t deadline);
  std::map<int, Timer>::const_iterator earliest() const;
  bool onLoopThread() const;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::thread::id owner_;
  TimerHandler handler_;
  std::map<int, Timer> timers_;
  std::deque<std::function<void()>> tasks_;
  std::uint64_t now_ = 0;
  std::uint64_t nextSequence_ = 0;
  int workers_ = 0;
  int depth_ = 0;
  bool quitRequested_ = false;  // the innermost run returns
};

}  // namespace corvane
