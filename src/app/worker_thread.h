#pragma once

// A worker thread owned by the dialog. The owner asks it to stop and joins it when the object
// goes, so a worker never outlives what it reports to. Bodies that may wait for long (downloads,
// installers) watch their stop token and return when it is set.

#include <functional>
#include <stop_token>
#include <thread>

namespace corvane {

using WorkerBody = std::function<void(std::stop_token)>;

class WorkerThread {
 public:
  WorkerThread() = default;
  explicit WorkerThread(WorkerBody body) : thread_(std::move(body)) {}
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;
  WorkerThread(WorkerThread&&) noexcept = default;
  // Stops and joins the thread held so far before taking over the other one.
  WorkerThread& operator=(WorkerThread&& other) noexcept {
    if (this != &other) {
      stopAndJoin();
      thread_ = std::move(other.thread_);
    }
    return *this;
  }
  ~WorkerThread() { stopAndJoin(); }

  [[nodiscard]] bool started() const { return thread_.joinable(); }

  void stopAndJoin() {
    if (thread_.joinable()) {
      thread_.request_stop();
      thread_.join();
    }
  }

 private:
  std::jthread thread_;
};

// How the dialog starts its workers. The default runs the body on a new thread; the tests
// wrap the body so that virtual time waits for it.
using WorkerStarter = std::function<WorkerThread(WorkerBody)>;

inline WorkerThread StartWorkerThread(WorkerBody body) { return WorkerThread(std::move(body)); }

}  // namespace corvane
