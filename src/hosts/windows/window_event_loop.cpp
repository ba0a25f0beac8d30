#include "hosts/windows/window_event_loop.h"

#include <utility>

namespace corvane::windows {

WindowEventLoop::WindowEventLoop(HWND window)
    : window_(window),
      owner_(std::this_thread::get_id()),
      start_(std::chrono::steady_clock::now()) {}

bool WindowEventLoop::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER: {
      const int id = static_cast<int>(wParam);
      if (armed_.count(id) == 0) return false;
      // Window timers repeat; ours fire once per arming.
      killTimer(id);
      if (handler_) handler_(id);
      return true;
    }
    case kArmMessage: {
      {
        std::lock_guard lock(mutex_);
        --pendingArmings_;
      }
      setTimer(static_cast<int>(wParam), static_cast<std::uint32_t>(lParam));
      return true;
    }
    case kTaskMessage:
      runTasks();
      return true;
    default:
      return false;
  }
}

void WindowEventLoop::setTimerHandler(TimerHandler handler) { handler_ = std::move(handler); }

void WindowEventLoop::setTimer(int id, std::uint32_t ms) {
  if (!onLoopThread()) {
    // The arming counts from when the dialog thread takes it, as a posted message would.
    std::lock_guard lock(mutex_);
    if (::PostMessageW(window_, kArmMessage, static_cast<WPARAM>(id), static_cast<LPARAM>(ms))) {
      ++pendingArmings_;
    }
    return;
  }
  // SetTimer on an armed id restarts it, as the interface promises.
  if (::SetTimer(window_, static_cast<UINT_PTR>(id), ms, nullptr) != 0) armed_.insert(id);
}

void WindowEventLoop::killTimer(int id) {
  if (armed_.erase(id) != 0) ::KillTimer(window_, static_cast<UINT_PTR>(id));
}

void WindowEventLoop::post(std::function<void()> task) {
  std::lock_guard lock(mutex_);
  const bool first = tasks_.empty();
  tasks_.push_back(std::move(task));
  // One message wakes the loop for every task queued until it runs them.
  if (first) ::PostMessageW(window_, kTaskMessage, 0, 0);
}

void WindowEventLoop::runTasks() {
  while (true) {
    std::function<void()> task;
    {
      std::lock_guard lock(mutex_);
      if (tasks_.empty()) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }
}

void WindowEventLoop::run() {
  ++depth_;
  while (!quitRequested_) {
    MSG message{};
    const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got <= 0) {
      // WM_QUIT belongs to the outermost loop: leave it for that one.
      if (got == 0 && depth_ > 1) ::PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    if (preTranslate_ && preTranslate_(message)) continue;
    if (!::IsWindow(window_) || !::IsDialogMessageW(window_, &message)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  quitRequested_ = false;
  --depth_;
}

void WindowEventLoop::quit() {
  if (!onLoopThread()) {
    post([this] { quit(); });
    return;
  }
  if (depth_ > 0) quitRequested_ = true;
  // Wakes GetMessage so that the flag is seen.
  ::PostMessageW(window_, WM_NULL, 0, 0);
}

bool WindowEventLoop::empty() const {
  std::lock_guard lock(mutex_);
  return armed_.empty() && tasks_.empty() && pendingArmings_ == 0;
}

std::uint64_t WindowEventLoop::nowMs() const {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now() - start_)
                                        .count());
}

}  // namespace corvane::windows
