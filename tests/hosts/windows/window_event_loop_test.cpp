// The dialog's loop on a window under Wine: window timers fire once per arming, a worker's
// armings and tasks come to the window's thread, quit ends the innermost run.

#include "hosts/windows/window_event_loop.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace corvane::windows {
namespace {

// A message-only window whose procedure hands everything to the loop first.
LRESULT CALLBACK LoopWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* loop = reinterpret_cast<WindowEventLoop*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (loop != nullptr && loop->handleMessage(message, wParam, lParam)) return 0;
  return ::DefWindowProcW(window, message, wParam, lParam);
}

class WindowEventLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &LoopWindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"CorvaneLoopTest";
    ::RegisterClassW(&windowClass);
    window_ = win32::UniqueWindow(::CreateWindowExW(0, L"CorvaneLoopTest", L"", 0, 0, 0, 0, 0,
                                                    HWND_MESSAGE, nullptr,
                                                    ::GetModuleHandleW(nullptr), nullptr));
    ASSERT_TRUE(window_.valid());
  }
  void attach(WindowEventLoop& loop) {
    ::SetWindowLongPtrW(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&loop));
  }
  void TearDown() override {
    if (window_.valid()) ::SetWindowLongPtrW(window_.get(), GWLP_USERDATA, 0);
  }

  win32::UniqueWindow window_;
};

TEST_F(WindowEventLoopTest, TimersFireOnceInOrderAndWorkersComeToTheLoopThread) {
  WindowEventLoop loop(window_.get());
  attach(loop);
  const std::thread::id loopThread = std::this_thread::get_id();
  std::vector<int> fired;
  bool allOnLoopThread = true;
  loop.setTimerHandler([&](int id) {
    allOnLoopThread = allOnLoopThread && std::this_thread::get_id() == loopThread;
    fired.push_back(id);
    if (id == 8) loop.setTimer(9, 10);  // re-armed by the handler, as the sequence does
    if (id == 2) loop.quit();
  });
  loop.setTimer(8, 10);
  loop.setTimer(7, 5000);
  loop.killTimer(7);  // never fires
  EXPECT_FALSE(loop.empty());
  // A worker arms timer 2 and posts a task; both arrive on the loop's thread.
  bool taskOnLoopThread = false;
  std::thread worker([&] {
    loop.post([&] { taskOnLoopThread = std::this_thread::get_id() == loopThread; });
    loop.setTimer(2, 200);
  });
  worker.join();
  loop.run();
  EXPECT_EQ(fired, (std::vector<int>{8, 9, 2}));
  EXPECT_TRUE(allOnLoopThread);
  EXPECT_TRUE(taskOnLoopThread);
  EXPECT_TRUE(loop.empty());  // one-shot: nothing armed after firing
}

TEST_F(WindowEventLoopTest, QuitEndsTheInnermostRun) {
  WindowEventLoop loop(window_.get());
  attach(loop);
  std::vector<std::string> steps;
  loop.setTimerHandler([&](int id) {
    if (id == 1) {
      steps.push_back("inner start");
      loop.setTimer(2, 10);
      loop.run();  // a prompt's loop on the dialog thread
      steps.push_back("inner end");
      loop.setTimer(3, 10);
    } else if (id == 2) {
      loop.quit();
    } else {
      steps.push_back("outer quit");
      loop.quit();
    }
  });
  loop.setTimer(1, 10);
  loop.run();
  EXPECT_EQ(steps, (std::vector<std::string>{"inner start", "inner end", "outer quit"}));
}

}  // namespace
}  // namespace corvane::windows
