#include "app/reply_worker.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "app/virtual_event_loop.h"
#include "test_latch.h"

namespace corvane {
namespace {

// Starts workers on threads of their own and counts each down once its body, post included,
// has returned, so a test can hold results in the loop's queue before it runs the loop.
struct CountingStarter {
  std::vector<std::unique_ptr<testing::TestLatch>> finished;

  WorkerStarter starter() {
    return [this](WorkerBody body) {
      finished.push_back(std::make_unique<testing::TestLatch>());
      testing::TestLatch* done = finished.back().get();
      return WorkerThread([body = std::move(body), done](std::stop_token stop) {
        body(stop);
        done->countDown();
      });
    };
  }
  void waitFor(std::size_t run) { finished.at(run)->wait(); }
};

TEST(ReplyWorkerTest, TheBodyRunsOffTheLoopThreadAndTheReplyOnIt) {
  VirtualEventLoop loop;
  ReplyWorker<std::thread::id> worker(loop, loop.starter());
  std::vector<std::thread::id> replies;
  worker.run([](std::stop_token) { return std::this_thread::get_id(); },
             [&](std::thread::id bodyThread) {
               replies.push_back(bodyThread);
               replies.push_back(std::this_thread::get_id());
             });
  EXPECT_TRUE(worker.pending());
  loop.runUntilIdle();
  ASSERT_EQ(replies.size(), 2U);
  EXPECT_NE(replies[0], std::this_thread::get_id());
  EXPECT_EQ(replies[1], std::this_thread::get_id());
  EXPECT_FALSE(worker.pending());
}

TEST(ReplyWorkerTest, AResultOfAnEarlierRunIsDroppedWhenALaterRunHasStarted) {
  VirtualEventLoop loop;
  CountingStarter counting;
  ReplyWorker<int> worker(loop, counting.starter());
  std::vector<int> replies;
  worker.run([](std::stop_token) { return 1; }, [&](int n) { replies.push_back(n); });
  counting.waitFor(0);  // its result waits in the loop's queue
  worker.run([](std::stop_token) { return 2; }, [&](int n) { replies.push_back(n); });
  counting.waitFor(1);
  EXPECT_TRUE(worker.pending());
  loop.runUntilIdle();
  EXPECT_EQ(replies, std::vector<int>{2});
  EXPECT_FALSE(worker.pending());
}

TEST(ReplyWorkerTest, ResultsOnTheirWayAreDroppedAfterCloseAndAfterDestruction) {
  for (const bool destroy : {false, true}) {
    SCOPED_TRACE(destroy ? "destroyed" : "closed");
    VirtualEventLoop loop;
    CountingStarter counting;
    auto worker = std::make_unique<ReplyWorker<int>>(loop, counting.starter());
    int replies = 0;
    worker->run([](std::stop_token) { return 1; }, [&](int) { ++replies; });
    counting.waitFor(0);
    if (destroy) {
      worker.reset();
    } else {
      worker->close();
    }
    EXPECT_FALSE(loop.empty());  // the result is queued, and must be dropped
    loop.runUntilIdle();
    EXPECT_EQ(replies, 0);
  }
}

TEST(ReplyWorkerTest, CloseStopsAWaitingBodyWhoseResultIsThenNeverPosted) {
  VirtualEventLoop loop;
  ReplyWorker<int> worker(loop, StartWorkerThread);
  int replies = 0;
  worker.run(
      [](std::stop_token stop) {
        while (!stop.stop_requested()) std::this_thread::yield();
        return 1;
      },
      [&](int) { ++replies; });
  worker.close();
  EXPECT_TRUE(loop.empty());
  loop.runUntilIdle();
  EXPECT_EQ(replies, 0);
}

}  // namespace
}  // namespace corvane
