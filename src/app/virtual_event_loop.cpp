#include "app/virtual_event_loop.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace corvane {

namespace {
constexpr std::uint64_t kForever = std::numeric_limits<std::uint64_t>::max();
}  // namespace

VirtualEventLoop::VirtualEventLoop() : owner_(std::this_thread::get_id()) {}

void VirtualEventLoop::setTimerHandler(TimerHandler handler) {
  std::lock_guard lock(mutex_);
  handler_ = std::move(handler);
}

void VirtualEventLoop::setTimer(int id, std::uint32_t ms) {
  if (!onLoopThread()) {
    post([this, id, ms] { setTimer(id, ms); });
    return;
  }
  std::lock_guard lock(mutex_);
  timers_[id] = Timer{now_ + ms, nextSequence_++};
}

void VirtualEventLoop::killTimer(int id) {
  std::lock_guard lock(mutex_);
  timers_.erase(id);
}

void VirtualEventLoop::post(std::function<void()> task) {
  std::lock_guard lock(mutex_);
  tasks_.push_back(std::move(task));
  changed_.notify_all();
}

void VirtualEventLoop::run() { runUntilIdle(kForever); }

void VirtualEventLoop::quit() {
  std::lock_guard lock(mutex_);
  if (depth_ > 0) quitRequested_ = true;
  changed_.notify_all();
}

bool VirtualEventLoop::empty() const {
  std::lock_guard lock(mutex_);
  return timers_.empty() && tasks_.empty();
}

std::uint64_t VirtualEventLoop::nowMs() const {
  std::lock_guard lock(mutex_);
  return now_;
}

bool VirtualEventLoop::runUntilIdle(std::size_t maxSteps) {
  {
    std::lock_guard lock(mutex_);
    owner_ = std::this_thread::get_id();
    ++depth_;
  }
  bool settled = false;
  for (std::size_t n = 0; n < maxSteps; ++n) {
    const Step s = step(kForever);
    if (s != Step::kRan) {
      settled = true;
      break;
    }
  }
  std::lock_guard lock(mutex_);
  quitRequested_ = false;
  --depth_;
  return settled;
}

void VirtualEventLoop::runUntil(std::uint64_t deadlineMs) {
  {
    std::lock_guard lock(mutex_);
    owner_ = std::this_thread::get_id();
    ++depth_;
  }
  while (step(deadlineMs) == Step::kRan) {
  }
  std::lock_guard lock(mutex_);
  now_ = std::max(now_, deadlineMs);
  quitRequested_ = false;
  --depth_;
}

bool VirtualEventLoop::armed(int id) const {
  std::lock_guard lock(mutex_);
  return timers_.contains(id);
}

std::uint64_t VirtualEventLoop::dueAt(int id) const {
  std::lock_guard lock(mutex_);
  auto it = timers_.find(id);
  return it == timers_.end() ? 0 : it->second.due;
}

WorkerBody VirtualEventLoop::track(WorkerBody body) {
  {
    std::lock_guard lock(mutex_);
    ++workers_;
  }
  return [this, body = std::move(body)](std::stop_token stop) {
    body(std::move(stop));
    std::lock_guard lock(mutex_);
    --workers_;
    changed_.notify_all();
  };
}

WorkerStarter VirtualEventLoop::starter() {
  return [this](WorkerBody body) { return WorkerThread(track(std::move(body))); };
}

VirtualEventLoop::Step VirtualEventLoop::step(std::uint64_t deadline) {
  std::unique_lock lock(mutex_);
  while (true) {
    if (quitRequested_) return Step::kQuit;
    if (!tasks_.empty()) {
      auto task = std::move(tasks_.front());
      tasks_.pop_front();
      lock.unlock();
      task();
      return Step::kRan;
    }
    if (workers_ > 0) {
      // Time stands still while a worker runs: whatever it posts belongs to this moment.
      changed_.wait(lock);
      continue;
    }
    auto next = earliest();
    if (next == timers_.end()) return Step::kIdle;
    if (next->second.due > deadline) return Step::kDeadline;
    const int id = next->first;
    now_ = std::max(now_, next->second.due);
    timers_.erase(next);
    TimerHandler handler = handler_;
    lock.unlock();
    if (handler) handler(id);
    return Step::kRan;
  }
}

std::map<int, VirtualEventLoop::Timer>::const_iterator VirtualEventLoop::earliest() const {
  auto best = timers_.end();
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (best == timers_.end() || it->second.due < best->second.due ||
        (it->second.due == best->second.due && it->second.sequence < best->second.sequence)) {
      best = it;
    }
  }
  return best;
}

bool VirtualEventLoop::onLoopThread() const {
  std::lock_guard lock(mutex_);
  return owner_ == std::this_thread::get_id();
}

}  // namespace corvane
