#pragma once

// Work off the dialog thread with its result brought back, one pattern for every worker
// whose result the dialog waits for. run() starts `body` on a worker; the body works on
// inputs it owns (captured by value) and returns a result, which is posted to the loop and
// handed to `reply` on the loop's thread. A result is dropped when a later run() has started
// meanwhile (a stale generation), when the worker was asked to stop, and after close() or
// destruction, so a reply never sees a dialog that has moved on or gone.
//
// run(), pending() and close() belong to the loop's thread. A new run stops and joins the
// previous run's worker after starting its own. Result must be copyable (it travels in a
// posted task).

#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <utility>

#include "app/event_loop.h"
#include "app/thread_ownership.h"
#include "app/worker_thread.h"

namespace corvane {

template <typename Result>
class ReplyWorker {
 public:
  using Body = std::function<Result(std::stop_token)>;
  using Reply = std::function<void(Result)>;

  ReplyWorker(EventLoop& loop, WorkerStarter starter) : loop_(loop), starter_(std::move(starter)) {}
  ReplyWorker(const ReplyWorker&) = delete;
  ReplyWorker& operator=(const ReplyWorker&) = delete;
  ReplyWorker(ReplyWorker&&) = delete;
  ReplyWorker& operator=(ReplyWorker&&) = delete;
  ~ReplyWorker() { close(); }

  void run(Body body, Reply reply) {
    const std::uint64_t generation = ++(*state_)->generation;
    (*state_)->pending = true;
    std::weak_ptr<ThreadOwned<State>> weak = state_;
    thread_ = starter_([&loop = loop_, weak, generation, body = std::move(body),
                        reply = std::move(reply)](std::stop_token stop) {
      Result result = body(stop);
      if (stop.stop_requested()) return;
      loop.post([weak, generation, reply, result = std::move(result)] {
        const auto owned = weak.lock();
        if (!owned) return;
        State& state = **owned;
        if (state.closed || generation != state.generation) return;
        state.pending = false;
        reply(result);
      });
    });
  }

  // A run has started and its result has not been handed over yet.
  [[nodiscard]] bool pending() const { return (*state_)->pending; }

  // Stops and joins the worker; results still on their way are dropped.
  void close() {
    (*state_)->closed = true;
    thread_.stopAndJoin();
  }

 private:
  struct State {
    std::uint64_t generation = 0;
    bool pending = false;
    bool closed = false;
  };
  EventLoop& loop_;
  WorkerStarter starter_;
  // Shared with the posted results, which may outlive this object on the loop.
  std::shared_ptr<ThreadOwned<State>> state_ = std::make_shared<ThreadOwned<State>>();
  WorkerThread thread_;
};

}  // namespace corvane
