#pragma once

// The dialog thread's loop: one-shot timers by id and tasks posted from any thread. The
// real loop runs on the wall clock; the virtual-time loop of the tests jumps from one due
// timer to the next, so a whole check sequence runs in milliseconds.

#include <cstdint>
#include <functional>
#include <memory>

namespace corvane {

class EventLoop {
 public:
  using TimerHandler = std::function<void(int id)>;

  EventLoop() = default;
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;
  EventLoop(EventLoop&&) = delete;
  EventLoop& operator=(EventLoop&&) = delete;
  virtual ~EventLoop() = default;

  // Where due timers go (the dialog's OnTimer). Set before run().
  virtual void setTimerHandler(TimerHandler handler) = 0;
  // Arms timer `id` to fire once after `ms` milliseconds, replacing an earlier arming of
  // the same id. Any thread: from a worker the arming is posted to the loop's thread.
  virtual void setTimer(int id, std::uint32_t ms) = 0;
  // Disarms timer `id`. Loop thread.
  virtual void killTimer(int id) = 0;
  // Runs `task` on the loop's thread. Any thread.
  virtual void post(std::function<void()> task) = 0;
  // Runs timers and tasks until quit(). A prompt on the loop thread may run it nested.
  virtual void run() = 0;
  virtual void quit() = 0;
  // True when no timer is armed and no task is queued.
  [[nodiscard]] virtual bool empty() const = 0;
  // Milliseconds since the loop was made (virtual time in the test loop).
  [[nodiscard]] virtual std::uint64_t nowMs() const = 0;
};

// The loop on the wall clock.
std::unique_ptr<EventLoop> MakeEventLoop();

}  // namespace corvane
