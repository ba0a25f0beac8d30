#include "app/event_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/virtual_event_loop.h"

namespace corvane {
namespace {

struct Arming {
  int id;
  std::uint32_t ms;
};

TEST(VirtualEventLoop, TimersRunByDueTimeThenArmingOrder) {
  struct Case {
    std::string name;
    std::vector<Arming> armings;
    std::vector<int> fired;
    std::vector<std::uint64_t> at;
  };
  const Case cases[] = {
      {"by due time", {{1, 300}, {2, 100}, {3, 200}}, {2, 3, 1}, {100, 200, 300}},
      {"ties by arming order", {{5, 100}, {4, 100}, {6, 100}}, {5, 4, 6}, {100, 100, 100}},
      {"re-arming replaces", {{1, 100}, {2, 150}, {1, 200}}, {2, 1}, {150, 200}},
      {"zero delay", {{7, 0}, {8, 0}}, {7, 8}, {0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualEventLoop loop;
    std::vector<int> fired;
    std::vector<std::uint64_t> at;
    loop.setTimerHandler([&](int id) {
      fired.push_back(id);
      at.push_back(loop.nowMs());
    });
    for (const Arming& a : c.armings) loop.setTimer(a.id, a.ms);
    EXPECT_TRUE(loop.runUntilIdle());
    EXPECT_EQ(fired, c.fired);
    EXPECT_EQ(at, c.at);
    EXPECT_TRUE(loop.empty());
  }
}

TEST(VirtualEventLoop, KilledTimersDoNotFireAndDeadlinesStopTheClock) {
  VirtualEventLoop loop;
  std::vector<int> fired;
  loop.setTimerHandler([&](int id) {
    fired.push_back(id);
    loop.setTimer(id, 100);  // re-arms for ever
  });
  loop.setTimer(1, 100);
  loop.setTimer(2, 50);
  loop.killTimer(2);
  loop.runUntil(350);
  EXPECT_EQ(fired, (std::vector<int>{1, 1, 1}));
  EXPECT_EQ(loop.nowMs(), 350U);
  EXPECT_EQ(loop.dueAt(1), 400U);
  EXPECT_FALSE(loop.runUntilIdle(10));  // never settles
}

TEST(VirtualEventLoop, TimeWaitsForTrackedWorkersAndTheirArmingsCountFromThen) {
  VirtualEventLoop loop;
  std::vector<std::pair<int, std::uint64_t>> fired;
  loop.setTimerHandler([&](int id) { fired.emplace_back(id, loop.nowMs()); });
  loop.setTimer(1, 10);
  WorkerThread worker = loop.starter()([&loop](std::stop_token) {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    loop.setTimer(2, 5);  // from the worker: posted, due 5 ms after virtual time 0
  });
  loop.runUntilIdle();
  EXPECT_EQ(fired, (std::vector<std::pair<int, std::uint64_t>>{{2, 5}, {1, 10}}));
}

TEST(VirtualEventLoop, NestedRunEndsAtQuitAndTheOuterRunGoesOn) {
  VirtualEventLoop loop;
  std::vector<std::string> seen;
  loop.setTimerHandler([&](int id) {
    seen.push_back("timer " + std::to_string(id));
    if (id == 1) {
      // A prompt on the loop thread: runs the loop until it is answered by timer 2.
      loop.run();
      seen.emplace_back("answered");
    }
    if (id == 2) loop.quit();
  });
  loop.setTimer(1, 10);
  loop.setTimer(2, 20);
  loop.setTimer(3, 30);
  loop.runUntilIdle();
  EXPECT_EQ(seen, (std::vector<std::string>{"timer 1", "timer 2", "answered", "timer 3"}));
}

TEST(WallClockEventLoop, RunsTimersInOrderTakesArmingsFromWorkersAndNests) {
  auto loop = MakeEventLoop();
  std::vector<std::string> seen;
  loop->setTimerHandler([&](int id) {
    seen.push_back("timer " + std::to_string(id));
    if (id == 1) {
      loop->run();  // nested until timer 3 quits it
      seen.emplace_back("nested done");
    }
    if (id == 3 || id == 4) loop->quit();
  });
  loop->setTimer(2, 40);
  loop->setTimer(1, 5);
  std::thread worker([&] { loop->setTimer(3, 60); });
  worker.join();
  loop->post([&] { seen.emplace_back("task"); });
  loop->post([&] { loop->setTimer(4, 200); });
  const auto started = std::chrono::steady_clock::now();
  loop->run();
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(200));
  EXPECT_EQ(seen, (std::vector<std::string>{"task", "timer 1", "timer 2", "timer 3", "nested done",
                                            "timer 4"}));
  EXPECT_TRUE(loop->empty());
}

TEST(WallClockEventLoop, KilledTimerNeverFires) {
  auto loop = MakeEventLoop();
  std::vector<int> fired;
  loop->setTimerHandler([&](int id) {
    fired.push_back(id);
    loop->quit();
  });
  loop->setTimer(1, 10);
  loop->setTimer(2, 30);
  loop->killTimer(1);
  loop->run();
  EXPECT_EQ(fired, std::vector<int>{2});
}

}  // namespace
}  // namespace corvane
