#include "app/event_loop.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace corvane {

namespace {

// The dialog thread's loop on the wall clock. Timers and tasks live under one mutex; the loop
// sleeps on a condition variable until the earliest timer is due or a task arrives. Handlers
// run without the mutex held, so they may arm, kill, post, or run the loop nested (a prompt
// shown on the loop thread runs it until the prompt calls quit()).
class WallClockEventLoop final : public EventLoop {
 public:
  using Clock = std::chrono::steady_clock;

  WallClockEventLoop() : start_(Clock::now()), owner_(std::this_thread::get_id()) {}

  void setTimerHandler(TimerHandler handler) override {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
  }

  void setTimer(int id, std::uint32_t ms) override {
    if (!onLoopThread()) {
      // A worker's arming counts from when the loop takes it, as a posted timer message would.
      post([this, id, ms] { setTimer(id, ms); });
      return;
    }
    std::lock_guard lock(mutex_);
    timers_[id] = Timer{Clock::now() + std::chrono::milliseconds(ms), nextSequence_++};
    wake_.notify_all();
  }

  void killTimer(int id) override {
    std::lock_guard lock(mutex_);
    timers_.erase(id);
  }

  void post(std::function<void()> task) override {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
    wake_.notify_all();
  }

  void run() override {
    {
      std::lock_guard lock(mutex_);
      owner_ = std::this_thread::get_id();
      ++depth_;
    }
    while (true) {
      std::function<void()> work;
      {
        std::unique_lock lock(mutex_);
        while (true) {
          if (quitRequested_) {
            quitRequested_ = false;
            --depth_;
            return;
          }
          if (!tasks_.empty()) {
            work = std::move(tasks_.front());
            tasks_.pop_front();
            break;
          }
          auto due = earliestTimer();
          if (due != timers_.end() && due->second.due <= Clock::now()) {
            const int id = due->first;
            timers_.erase(due);
            TimerHandler handler = handler_;
            work = [handler, id] {
              if (handler) handler(id);
            };
            break;
          }
          if (due == timers_.end()) {
            wake_.wait(lock);
          } else {
            wake_.wait_until(lock, due->second.due);
          }
        }
      }
      work();
    }
  }

  void quit() override {
    std::lock_guard lock(mutex_);
    // Ends the innermost run(); an outer run goes on.
    if (depth_ > 0) quitRequested_ = true;
    wake_.notify_all();
  }

  [[nodiscard]] bool empty() const override {
    std::lock_guard lock(mutex_);
    return timers_.empty() && tasks_.empty();
  }

  [[nodiscard]] std::uint64_t nowMs() const override {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count());
  }

 private:
  struct Timer {
    Clock::time_point due;
    std::uint64_t sequence = 0;  // arming order breaks ties between equal due times
  };

  bool onLoopThread() const {
    std::lock_guard lock(mutex_);
    return owner_ == std::this_thread::get_id();
  }

  std::map<int, Timer>::iterator earliestTimer() {
    auto best = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
      if (best == timers_.end() || it->second.due < best->second.due ||
          (it->second.due == best->second.due && it->second.sequence < best->second.sequence)) {
        best = it;
      }
    }
    return best;
  }

  const Clock::time_point start_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::thread::id owner_;
  TimerHandler handler_;
  std::map<int, Timer> timers_;
  std::deque<std::function<void()>> tasks_;
  std::uint64_t nextSequence_ = 0;
  int depth_ = 0;               // nesting of run()
  bool quitRequested_ = false;  // the innermost run() returns
};

}  // namespace

std::unique_ptr<EventLoop> MakeEventLoop() { return std::make_unique<WallClockEventLoop>(); }

}  // namespace corvane
