#pragma once

// The dialog thread's loop on Windows: the dialog's own window timers (SetTimer/WM_TIMER) and
// the window's message queue. Workers never touch the window's timers: their armings and
// tasks are posted to the window and taken there, so every handler runs on the dialog thread.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

#include "app/event_loop.h"
#include "platform/win32/win32_util.h"

namespace corvane::windows {

class WindowEventLoop final : public EventLoop {
 public:
  // Posted to the window: arm timer wParam for lParam ms (from a worker), run posted tasks.
  static constexpr UINT kArmMessage = WM_APP + 1;
  static constexpr UINT kTaskMessage = WM_APP + 2;

  // Made on the thread that owns `window`; that thread is the loop's.
  explicit WindowEventLoop(HWND window);

  // The window procedure hands its messages here first. True when the message was the
  // loop's (a timer of ours, an arming, posted tasks) and has been handled.
  bool handleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  // Sees every message of the thread before the dialog does; true when it has handled it
  // (the browser control's own keys).
  void setPreTranslate(std::function<bool(MSG&)> preTranslate) {
    preTranslate_ = std::move(preTranslate);
  }

  void setTimerHandler(TimerHandler handler) override;
  void setTimer(int id, std::uint32_t ms) override;
  void killTimer(int id) override;
  void post(std::function<void()> task) override;
  // Pumps the thread's messages (dialog keys through IsDialogMessage) until quit().
  void run() override;
  void quit() override;
  [[nodiscard]] bool empty() const override;
  [[nodiscard]] std::uint64_t nowMs() const override;

 private:
  [[nodiscard]] bool onLoopThread() const { return std::this_thread::get_id() == owner_; }
  void runTasks();

  HWND window_;
  const std::thread::id owner_;
  const std::chrono::steady_clock::time_point start_;
  TimerHandler handler_;                    // loop thread
  std::function<bool(MSG&)> preTranslate_;  // loop thread
  std::set<int> armed_;                     // loop thread
  int depth_ = 0;                           // nesting of run(), loop thread
  bool quitRequested_ = false;              // loop thread
  mutable std::mutex mutex_;
  std::deque<std::function<void()>> tasks_;  // under mutex_
  std::uint32_t pendingArmings_ = 0;         // under mutex_: posted, not yet taken
};

}  // namespace corvane::windows
