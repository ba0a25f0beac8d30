#include "app/corvane_dlg.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <limits>
#include <mutex>
#include <sstream>
#include <thread>

#include "bank/bank_values.h"
#include "checks/browser_settings.h"
#include "checks/system_description.h"
#include "dialog_test_support.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "test_latch.h"

namespace corvane::testing {
namespace {

using ::testing::ElementsAreArray;

// The reports of one check run from timer 8 to timer 18, given items 5, 6 and 7. The fixture
// configuration has no registry entries, no "host" section and the PC no registry-tools
// policy, so items 2 and 3 pass; no home-page policy and no "trust" section pass items 9 and
// 11; item 10 reads as the PC's zones are (the emulated PC's Trusted sites zone starts at
// Medium, Wine's at Low); the stand-in checks fail, so every other item reads 1.
// The component pass of the rig's configuration (two components missing, offered for
// installation): both rows, the summary, both rows again.
const std::vector<std::string> kMissingPass = {
    "setState(2,1,5)", "setState(2,2,5)", "setState(0,3,3)", "setState(2,1,5)", "setState(2,2,5)"};

std::vector<std::string> CheckRun(int item5, int item6, int item7) {
  CheckConfig zones;
  const int item10 = CheckSecurityLevel(zones, false) ? 0 : 1;
  auto s = [](int item, int value) {
    return "setState(1," + std::to_string(item) + "," + std::to_string(value) + ")";
  };
  return {
      "setState(0,0,9)",
      "setState(0,2,1002)",
      s(2, 0),
      "setState(0,0,18)",
      "setState(0,2,1003)",
      s(3, 0),
      s(6, item6),
      "setState(0,0,27)",
      "setState(0,2,1004)",
      s(4, 1),
      "setState(0,0,36)",
      "setState(0,2,1005)",
      s(5, item5),
      "setState(0,0,45)",
      "setState(0,2,1006)",
      s(6, item6),
      "setState(0,0,54)",
      "setState(0,2,1007)",
      s(7, item7),
      "setState(0,0,63)",
      "setState(0,2,1013)",
      "setState(0,0,72)",
      "setState(0,2,1009)",
      s(9, 0),
      "setState(0,0,81)",
      "setState(0,2,1010)",
      s(10, item10),
      "setState(0,0,90)",
      "setState(0,2,1011)",
      s(11, 0),
      "setState(0,0,100)",
      "setState(0,2,1999)",
  };
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(DialogSequence, StartUpReportsEveryStepInOrderOnlineAndOffline) {
  struct Case {
    bool online;
    int item5, item6, item7;
  };
  for (const Case& c : {Case{true, 0, 0, 0}, Case{false, 1, 1, 1}}) {
    SCOPED_TRACE(c.online ? "online" : "offline");
    DialogRig rig;
    rig.online = c.online;
    bool componentPassArmedAt1999 = false;
    rig.page.onCall = [&](const std::string& call) {
      if (call == "setState(0,2,1999)") componentPassArmedAt1999 = rig.loop.armed(4);
    };
    CCorvaneDlg& dlg = rig.start();

    const std::vector<std::string> head = {"setState(1,1,'" + DescribeWindowsVersion() + "')",
                                           "setState(1,8,'" + ReadIeVersion() + "')",
                                           c.online ? "setState(1,5,0)" : "setState(1,5,1)",
                                           // timer 2 runs check(0)
                                           "setState(0,0,0)", "setState(0,2,1000)"};
    // Both components are missing on the scratch PC: a failed check and items not in order.
    EXPECT_THAT(
        rig.page.states(),
        ElementsAreArray(Concat(Concat(head, CheckRun(c.item5, c.item6, c.item7)), kMissingPass)));
    EXPECT_TRUE(componentPassArmedAt1999);
    EXPECT_EQ(rig.probes.load(), c.online ? 1 : 0);
    // The component pass clears the four key categories before the summary.
    EXPECT_EQ(std::count_if(rig.page.calls.begin(), rig.page.calls.end(),
                            [](const std::string& call) { return call.starts_with("clearState"); }),
              24);
    EXPECT_EQ(rig.page.calls.back(), "setState(2,2,5)");
    EXPECT_TRUE(dlg.isIdle());
    EXPECT_EQ(dlg.config().items.size(), 2U);
    EXPECT_FALSE(dlg.config().serviceOk && !c.online);
  }
}

TEST(DialogSequence, StepsAreOneHundredMillisecondsApartAndThePollsWaitAsStated) {
  DialogRig rig;
  std::vector<std::pair<std::string, std::uint64_t>> times;
  rig.page.onCall = [&](const std::string& call) { times.emplace_back(call, rig.loop.nowMs()); };
  rig.start();
  auto at = [&](const std::string& call) {
    for (const auto& [c, t] : times) {
      if (c == call) return t;
    }
    ADD_FAILURE() << call << " never reported";
    return std::uint64_t{0};
  };
  // Page loaded before the configuration: timer 1 after 500 ms, timer 2 100 ms later.
  EXPECT_EQ(at("setState(0,2,1000)"), 600U);
  EXPECT_EQ(at("setState(0,2,1002)"), 700U);
  EXPECT_EQ(at("setState(0,2,1007)"), 1200U);
  // The probe's result reaches the dialog after the first poll, so timer 7 reports it 500 ms
  // on and timer 14 follows 100 ms after that.
  EXPECT_EQ(at("setState(1,7,0)"), 1700U);
  EXPECT_EQ(at("setState(0,2,1013)"), 1800U);
  EXPECT_EQ(at("setState(0,2,1999)"), 2200U);
  EXPECT_EQ(at("setState(0,3,3)"), 2300U);
}

TEST(DialogSequence, ConfigurationBeforeThePageNeverArmsTheWaitTimer) {
  DialogRig rig;
  CCorvaneDlg& dlg = rig.make();
  dlg.OnInitDialog();
  rig.loop.runUntilIdle();
  ASSERT_TRUE(dlg.config().configLoaded);
  dlg.OnDocumentComplete();
  EXPECT_FALSE(rig.loop.armed(1));
  rig.loop.runUntilIdle();
  EXPECT_EQ(rig.page.states().back(), "setState(2,2,5)");
  EXPECT_EQ(rig.acquisitions.load(), 1);
}

TEST(DialogSequence, NoConfigurationKeepsPollingAndNeverChecks) {
  DialogRig rig;
  rig.services.acquireConfig = [](PromptHost&, std::stop_token) { return AcquiredConfig{}; };
  CCorvaneDlg& dlg = rig.make();
  dlg.OnInitDialog();
  dlg.OnDocumentComplete();
  rig.loop.runUntil(5000);
  EXPECT_TRUE(rig.loop.armed(1));
  EXPECT_FALSE(dlg.config().configLoaded);
  EXPECT_EQ(rig.page.states().size(), 3U);  // items 1, 8 and 5 only
}

TEST(DialogCommands, CheckZeroRerunsTheChecksWithoutANewConfiguration) {
  DialogRig rig;
  CCorvaneDlg& dlg = rig.start();
  rig.page.calls.clear();
  rig.served = FixtureConfig({});  // would show if a download ran
  dlg.check(0);
  EXPECT_TRUE(dlg.config().configLoaded);
  rig.loop.runUntilIdle();
  EXPECT_EQ(rig.acquisitions.load(), 1);
  EXPECT_EQ(dlg.config().items.size(), 2U);
  EXPECT_THAT(
      rig.page.states(),
      ElementsAreArray(Concat(Concat({"setState(0,0,0)", "setState(0,2,1000)"}, CheckRun(0, 0, 0)),
                              kMissingPass)));
}

#if !defined(_WIN32)
// Windows asks with its own dialog; the emulated PC asks through the host's prompts.
TEST(DialogCommands, FixFourAsksBeforeTheRootCertificateAndTheAnswerDecidesTheItem) {
  for (const int answer : {kIdNo, kIdYes}) {
    SCOPED_TRACE(answer);
    DialogRig rig;
    rig.prompts.answer = answer;
    CCorvaneDlg& dlg = rig.start();
    ASSERT_FALSE(dlg.config().rootCertOk);
    rig.page.calls.clear();
    dlg.fix(4);
    rig.loop.runUntilIdle();
    ASSERT_EQ(rig.prompts.shown.size(), 1U);
    EXPECT_EQ(rig.prompts.shown[0].title, "安全警告");
    EXPECT_NE(rig.prompts.shown[0].content.find("CN, CFCA Root CA"), std::string::npos);
    EXPECT_NE(rig.prompts.shown[0].content.find("31BD6AEF 73031C5A 49338E7A 06040DD8 15EF7512"),
              std::string::npos);
    EXPECT_EQ(dlg.config().rootCertOk, answer == kIdYes);
    EXPECT_THAT(rig.page.states(),
                ::testing::Contains(answer == kIdYes ? "setState(1,4,0)" : "setState(1,4,1)"));
  }
}
#endif

TEST(DialogCommands, CheckOneFetchesTheConfigurationAgainAndRunsEverything) {
  DialogRig rig;
  CCorvaneDlg& dlg = rig.start();
  rig.page.calls.clear();
  rig.served = FixtureConfig({kComponentNotDetected, kComponentNotDetected, 5});
  const std::uint64_t pressed = rig.loop.nowMs();
  dlg.check(1);
  EXPECT_FALSE(dlg.config().configLoaded);
  EXPECT_EQ(rig.loop.dueAt(1), pressed + 500);
  rig.loop.runUntilIdle();
  EXPECT_EQ(rig.acquisitions.load(), 2);
  EXPECT_EQ(dlg.config().items.size(), 3U);
  EXPECT_THAT(
      rig.page.states(),
      ElementsAreArray(Concat(
          Concat({"setState(0,0,0)", "setState(0,0,0)", "setState(0,2,1000)"}, CheckRun(0, 0, 0)),
          {"setState(2,1,0)", "setState(2,2,0)", "setState(2,3,5)", "setState(0,3,3)",
           "setState(2,1,0)", "setState(2,2,0)", "setState(2,3,5)"})));
}

TEST(DialogCommands, OverlappingRechecksNeverRunTwoAcquisitionsAtOnce) {
  DialogRig rig;
  std::atomic<int> inFlight{0};
  std::atomic<int> most{0};
  rig.services.acquireConfig = [&](PromptHost&, std::stop_token) {
    const int now = ++inFlight;
    most = std::max(most.load(), now);
    ++rig.acquisitions;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    --inFlight;
    AcquiredConfig acquired;
    acquired.model = rig.served;
    return acquired;
  };
  CCorvaneDlg& dlg = rig.start();
  dlg.check(1);
  dlg.check(1);
  EXPECT_TRUE(dlg.acquisitionRunning());
  rig.loop.runUntilIdle();
  EXPECT_EQ(most.load(), 1);
  EXPECT_EQ(rig.acquisitions.load(), 3);
  EXPECT_TRUE(dlg.config().configLoaded);
  // Not from the server: the missing row offers no install.
  EXPECT_EQ(rig.page.states().back(), "setState(2,2,7)");
  EXPECT_TRUE(dlg.isIdle());
}

// An installer download that waits until the test lets it go on.
struct Gate {
  std::mutex mutex;
  std::condition_variable opened;
  bool open = false;
  bool entered = false;

  void wait() {
    std::unique_lock lock(mutex);
    entered = true;
    opened.notify_all();
    opened.wait(lock, [this] { return open; });
  }
  void waitEntered() {
    std::unique_lock lock(mutex);
    opened.wait(lock, [this] { return entered; });
  }
  void release() {
    std::lock_guard lock(mutex);
    open = true;
    opened.notify_all();
  }
};

TEST(DialogCommands, ChecksAndSingleInstallsAreIgnoredWhileAnInstallationRuns) {
  DialogRig rig;
  rig.served = FixtureConfig({5, 5});
  Gate gate;
  std::atomic<int> taskLists{0};
  rig.services.installTasksFor = [&](const CheckItem&, std::int32_t position) {
    ++taskLists;
    InstallTask task;
    task.position = position;
    task.url = "https://update.example/setup.exe";
    return std::vector<InstallTask>{task};
  };
  rig.services.downloadInstallTask = [&](const InstallTask&, std::atomic<std::int32_t>&,
                                         std::stop_token) {
    gate.wait();
    return false;
  };
  CCorvaneDlg& dlg = rig.start();
  rig.page.calls.clear();

  dlg.install(1);
  gate.waitEntered();
  EXPECT_TRUE(dlg.installRunning());
  dlg.check(1);
  dlg.check(0);
  dlg.install(2);
  EXPECT_TRUE(rig.page.calls.empty());
  EXPECT_EQ(rig.acquisitions.load(), 1);
  EXPECT_EQ(taskLists.load(), 1);
  EXPECT_FALSE(rig.loop.armed(8));
  EXPECT_FALSE(dlg.isIdle());

  gate.release();
  rig.loop.runUntilIdle();
  EXPECT_FALSE(dlg.installRunning());
  // 正在下载 as the task began, then the failed download ends the progress at 100 and the
  // task with status 1.
  EXPECT_THAT(rig.page.states(),
              ElementsAreArray({"setState(0,2,2)", "setState(0,2,1)", "setState(0,1,100)"}));
  dlg.check(0);
  EXPECT_TRUE(rig.loop.armed(8));
}

// The entries (0-based) whose install tasks a command asks for, on three items that can be
// installed, for arguments at and beyond the ends of the list.
TEST(DialogCommands, EveryCommandKeepsItsMeaningForNegativeAndHugeArguments) {
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  using Positions = std::vector<std::int32_t>;
  struct Case {
    const char* name;
    std::function<void(CCorvaneDlg&)> command;
    Positions asked;
  };
  const Positions all = {0, 1, 2};
  const Case cases[] = {
      {"install(min)", [](CCorvaneDlg& d) { d.install(kMin); }, {}},
      {"install(-1)", [](CCorvaneDlg& d) { d.install(-1); }, {}},
      {"install(0)", [](CCorvaneDlg& d) { d.install(0); }, all},
      {"install(3)", [](CCorvaneDlg& d) { d.install(3); }, {2}},
      {"install(4)", [](CCorvaneDlg& d) { d.install(4); }, {}},
      {"install(max)", [](CCorvaneDlg& d) { d.install(kMax); }, {}},
      {"installcom(min)", [](CCorvaneDlg& d) { d.installcom(kMin); }, {}},
      {"installcom(0)", [](CCorvaneDlg& d) { d.installcom(0); }, {}},
      {"installcom(1)", [](CCorvaneDlg& d) { d.installcom(1); }, {0}},
      {"installcom(max)", [](CCorvaneDlg& d) { d.installcom(kMax); }, {}},
      {"installmulti(1,max)", [](CCorvaneDlg& d) { d.installmulti(1, kMax); }, all},
      {"installmulti(2,max)", [](CCorvaneDlg& d) { d.installmulti(2, kMax); }, {1, 2}},
      {"installmulti(max,max)", [](CCorvaneDlg& d) { d.installmulti(kMax, kMax); }, {}},
      {"installmulti(min,max)",
       [](CCorvaneDlg& d) { d.installmulti(kMin, kMax); },
       {0, 1, 2, 0, 1, 2}},  // entry 0 is every entry, then each one again
      {"installmulti(min,-1)", [](CCorvaneDlg& d) { d.installmulti(kMin, -1); }, {}},
      {"installmulti(min,min)", [](CCorvaneDlg& d) { d.installmulti(kMin, kMin); }, {}},
      {"installmulti(-5,1)", [](CCorvaneDlg& d) { d.installmulti(-5, 1); }, {0, 1, 2, 0}},
      {"installmulti(max,min)", [](CCorvaneDlg& d) { d.installmulti(kMax, kMin); }, {}},
      {"installmulti(3,1)", [](CCorvaneDlg& d) { d.installmulti(3, 1); }, {}},
      {"installmulti(2,3)", [](CCorvaneDlg& d) { d.installmulti(2, 3); }, {1, 2}},
      {"installmulti(4,max)", [](CCorvaneDlg& d) { d.installmulti(4, kMax); }, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DialogRig rig;
    rig.served = FixtureConfig({5, 5, 5});
    Positions asked;
    // No tasks: nothing starts, so every entry is asked on its own.
    rig.services.installTasksFor = [&](const CheckItem&, std::int32_t position) {
      asked.push_back(position);
      return std::vector<InstallTask>{};
    };
    CCorvaneDlg& dlg = rig.start();
    c.command(dlg);
    EXPECT_EQ(asked, c.asked);
    EXPECT_TRUE(dlg.isIdle());
  }
}

TEST(DialogCommands, FixCheckAndStopEndForAnyArgument) {
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  for (const std::int32_t n : {kMin, -1, 17, kMax}) {
    SCOPED_TRACE(n);
    DialogRig rig;
    CCorvaneDlg& dlg = rig.start();
    rig.page.calls.clear();
    dlg.fix(n);  // no such item: only the end of the repair is reported
    EXPECT_THAT(rig.page.states(), ElementsAreArray({"setState(0,2,2999)", "setState(0,3,3)"}));
    dlg.stop(n);
    EXPECT_TRUE(dlg.isIdle());
    rig.page.calls.clear();
    dlg.check(n);  // any n but 1 runs the checks again
    rig.loop.runUntilIdle();
    EXPECT_THAT(
        rig.page.states(),
        ElementsAreArray(Concat(
            Concat({"setState(0,0,0)", "setState(0,2,1000)"}, CheckRun(0, 0, 0)), kMissingPass)));
  }
}

#if !defined(_WIN32)
TEST(DialogCommands, EachSiteClickStartsTheBrowserOnceAndReportsNothingToThePage) {
  DialogRig rig;
  CCorvaneDlg& dlg = rig.start();
  rig.page.calls.clear();
  dlg.openSite();
  dlg.openSite();
  EXPECT_TRUE(rig.page.calls.empty());
  EXPECT_TRUE(dlg.isIdle());
  const auto& processes = dynamic_cast<emulated::EmulatedProcesses&>(CurrentPlatform().processes());
  std::ifstream log(processes.startLog(), std::ios::binary);
  std::ostringstream recorded;
  recorded << log.rdbuf();
  const std::string line =
      std::string(R"("C:\Program Files (x86)\Internet Explorer\iexplore.exe")") +
      std::string(bank::kPublicSiteUrl) + "\n";
  EXPECT_EQ(recorded.str(), line + line);
}

// Timer 5 asks 139/142/143; a refusal, or a new instance that cannot start (this scratch PC
// has no program file to run), leaves the checks to run in this instance.
TEST(DialogTimers, AnUpdateRefusedOrNotStartedRunsTheChecksHere) {
  for (const int answer : {kIdNo, kIdYes}) {
    DialogRig rig;
    rig.services.checkForUpdate = [](const CheckConfig&, std::stop_token) {
      return UpdateOutcome::kUpdateReady;
    };
    rig.prompts.answer = answer;
    rig.start();
    ASSERT_EQ(rig.prompts.shown.size(), 1U) << answer;
    EXPECT_EQ(rig.prompts.shown[0].stringIds, (std::vector<int>{139, 142, 143})) << answer;
    EXPECT_THAT(rig.page.states(), ::testing::Contains("setState(0,2,1999)")) << answer;
  }
}
#endif

// A download that ends, complete or failed, ends the progress display at 100, whatever
// percentage it left: a chunked body has no length to count against and leaves 0, and a
// percentage the download left above 100 is never shown. Otherwise timer 3 re-arms for ever
// and the dialog never becomes idle.
TEST(DialogTimers, EveryEndedDownloadEndsTheProgressAtOneHundred) {
  struct Case {
    std::int32_t percent;
    bool complete;
  };
  for (const Case& c :
       {Case{0, true}, Case{50, true}, Case{150, true}, Case{0, false}, Case{50, false}}) {
    SCOPED_TRACE(::testing::Message() << c.percent << (c.complete ? " complete" : " failed"));
    DialogRig rig;
    rig.served = FixtureConfig({5});
    rig.services.installTasksFor = [](const CheckItem&, std::int32_t) {
      return std::vector<InstallTask>{InstallTask{}};
    };
    rig.services.downloadInstallTask = [&](const InstallTask&, std::atomic<std::int32_t>& percent,
                                           std::stop_token) {
      percent = c.percent;
      return c.complete;
    };
    rig.services.runInstallTask = [](const InstallTask&, std::stop_token) {
      return InstallRun::kNothingRun;
    };
    CCorvaneDlg& dlg = rig.start();
    rig.page.calls.clear();
    dlg.install(1);
    ASSERT_TRUE(rig.loop.runUntilIdle(1000));
    EXPECT_TRUE(dlg.isIdle());
    EXPECT_FALSE(rig.loop.armed(3));
    std::vector<std::string> progress;
    for (const auto& call : rig.page.states()) {
      if (call.starts_with("setState(0,1,")) progress.push_back(call);
    }
    EXPECT_THAT(progress, ElementsAreArray({"setState(0,1,100)"}));
  }
}

// A batch command that queues a task just as the worker finds the queue empty: the worker
// must either take the task or have said it stopped, so that the command starts a new one.
TEST(DialogInstaller, ATaskQueuedAsTheWorkerFindsTheQueueEmptyIsStillRun) {
  DialogRig rig;
  rig.served = FixtureConfig({5, 5});
  rig.services.installTasksFor = [](const CheckItem&, std::int32_t position) {
    InstallTask task;
    task.position = position;
    return std::vector<InstallTask>{task};
  };
  std::mutex mutex;
  std::vector<std::int32_t> downloaded;
  rig.services.downloadInstallTask = [&](const InstallTask& task, std::atomic<std::int32_t>&,
                                         std::stop_token) {
    std::lock_guard lock(mutex);
    downloaded.push_back(task.position);
    return false;
  };
  // The first task's end holds the worker until the command has run (or a while, should the
  // command wait for this worker to end).
  TestLatch ended;
  TestLatch commandDone;
  std::atomic<bool> first{true};
  rig.services.installTaskEnded = [&] {
    if (!first.exchange(false)) return;
    ended.countDown();
    (void)commandDone.waitFor(std::chrono::milliseconds(300));
  };
  CCorvaneDlg& dlg = rig.start();
  dlg.install(1);
  ended.wait();
  dlg.installmulti(2, 2);
  commandDone.countDown();
  rig.loop.runUntilIdle();
  std::lock_guard lock(mutex);
  EXPECT_EQ(downloaded, (std::vector<std::int32_t>{0, 1}));
  EXPECT_FALSE(dlg.installRunning());
  EXPECT_TRUE(dlg.isIdle());
}

// The worker finishes its task before the dialog thread turns to timer 6: the page still
// gets every status it went through, in order, not only the last one.
TEST(DialogInstaller, EveryInstallStatusReachesThePageInOrder) {
  struct Case {
    bool downloaded;
    std::vector<std::string> statuses;
  };
  for (const Case& c : {Case{false, {"setState(0,2,2)", "setState(0,2,1)"}},
                        Case{true, {"setState(0,2,2)", "setState(0,2,3)", "setState(0,2,1)"}}}) {
    SCOPED_TRACE(c.downloaded);
    DialogRig rig;
    rig.served = FixtureConfig({5});
    rig.services.installTasksFor = [](const CheckItem&, std::int32_t) {
      return std::vector<InstallTask>{InstallTask{}};
    };
    rig.services.downloadInstallTask = [&](const InstallTask&, std::atomic<std::int32_t>&,
                                           std::stop_token) { return c.downloaded; };
    rig.services.runInstallTask = [](const InstallTask&, std::stop_token) {
      return InstallRun::kNothingRun;
    };
    TestLatch ended;
    rig.services.installTaskEnded = [&] { ended.countDown(); };
    CCorvaneDlg& dlg = rig.start();
    rig.page.calls.clear();
    dlg.install(1);
    ended.wait();
    rig.loop.runUntilIdle();
    std::vector<std::string> statuses;
    for (const auto& call : rig.page.states()) {
      if (call.starts_with("setState(0,2,")) statuses.push_back(call);
    }
    EXPECT_EQ(statuses, c.statuses);
  }
}

TEST(DialogClose, CloseStopsAWaitingWorkerAndNothingReachesThePageAfterwards) {
  DialogRig rig;
  std::atomic<bool> sawStop{false};
  rig.services.acquireConfig = [&](PromptHost&, std::stop_token stop) {
    while (!stop.stop_requested()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    sawStop = true;
    AcquiredConfig acquired;
    acquired.model = rig.served;
    return acquired;
  };
  CCorvaneDlg& dlg = rig.make();
  dlg.OnInitDialog();
  dlg.OnDocumentComplete();
  const std::size_t reported = rig.page.calls.size();
  dlg.close();
  EXPECT_TRUE(sawStop.load());
  rig.dialog.reset();
  rig.loop.runUntilIdle();
  EXPECT_EQ(rig.page.calls.size(), reported);
  EXPECT_TRUE(rig.loop.empty());
}

TEST(DialogClose, ResultsPostedByAFinishedWorkerAreDroppedWhenTheDialogHasGone) {
  DialogRig rig;
  CCorvaneDlg& dlg = rig.start();
  dlg.check(1);  // an acquisition and timer 1 are under way
  rig.page.calls.clear();
  rig.dialog.reset();
  rig.loop.runUntilIdle();
  EXPECT_TRUE(rig.page.calls.empty());
}

// A failed download or start asks whether to go on; the refusal drops every waiting task.
TEST(DialogInstaller, FailuresAskAndARefusalDropsTheRestOfTheQueue) {
  struct Case {
    bool downloadFails;
    int answer;
    std::vector<int> prompts;  // content ids shown
    int runs;
  };
  const Case cases[] = {
      {true, kIdYes, {145, 145, 145}, 0},
      {true, kIdNo, {145}, 0},
      {false, kIdYes, {149, 149, 149}, 3},
      {false, kIdNo, {149}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.downloadFails ? "download" : "start");
    SCOPED_TRACE(c.answer);
    DialogRig rig;
    rig.served = FixtureConfig({5, 5, 5});
    std::atomic<int> runs{0};
    rig.services.downloadInstallTask = [&](const InstallTask&, std::atomic<std::int32_t>&,
                                           std::stop_token) { return !c.downloadFails; };
    rig.services.runInstallTask = [&](const InstallTask&, std::stop_token) {
      ++runs;
      return InstallRun::kFailedToStart;
    };
    CCorvaneDlg& dlg = rig.start();
    rig.prompts.answer = c.answer;
    rig.prompts.shown.clear();
    dlg.install(0);
    rig.loop.runUntilIdle();
    std::vector<int> shown;
    for (const Prompt& prompt : rig.prompts.shown) shown.push_back(prompt.stringIds.at(0));
    EXPECT_EQ(shown, c.prompts);
    EXPECT_EQ(runs.load(), c.runs);
    EXPECT_FALSE(dlg.installRunning());
  }
}

// install(0)'s tasks are queued together: a worker that fails its first task and is refused
// before the command has gone through every entry must not leave the later entries' tasks to
// a new worker (they ran and asked again).
TEST(DialogInstaller, ARefusalDropsTheTasksOfEntriesTheCommandReachesLater) {
  DialogRig rig;
  rig.served = FixtureConfig({5, 5, 5});
  std::atomic<int> runs{0};
  std::atomic<bool> taskEnded{false};
  rig.services.downloadInstallTask = [](const InstallTask&, std::atomic<std::int32_t>&,
                                        std::stop_token) { return true; };
  rig.services.runInstallTask = [&](const InstallTask&, std::stop_token) {
    ++runs;
    return InstallRun::kFailedToStart;
  };
  rig.services.installTaskEnded = [&] { taskEnded = true; };
  const auto tasksFor = rig.services.installTasksFor;
  rig.services.installTasksFor = [&](const CheckItem& entry, std::int32_t index) {
    if (index > 0) {
      // Gives a worker started by the first entry the time to fail, ask and end.
      for (int i = 0; i < 50 && !taskEnded; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    return tasksFor(entry, index);
  };
  CCorvaneDlg& dlg = rig.start();
  rig.prompts.answer = kIdNo;
  rig.prompts.shown.clear();
  dlg.install(0);
  rig.loop.runUntilIdle();
  EXPECT_EQ(rig.prompts.shown.size(), 1U);
  EXPECT_EQ(runs.load(), 1);
  EXPECT_FALSE(dlg.installRunning());
}

#ifndef _WIN32  // writes a class registration: on the scratch emulated PC only
// install(n) on a component whose add-on is disabled enables it again and shows every row
// anew; an installed one queues nothing.
TEST(DialogInstaller, InstallOnADisabledAddOnDeletesItsSettingsAndReportsTheRows) {
  const std::string classId = "{00000000-0000-0000-0000-0000000000B2}";
  const std::string settings =
      R"(Software\Microsoft\Windows\CurrentVersion\Ext\Settings\)" + classId;
  DialogRig rig;
  {
    RegistryKey key;
    ASSERT_EQ(CurrentPlatform().registry().CreateKey(RegistryRoot::kClassesRoot,
                                                     "CLSID\\" + classId + "\\InprocServer32",
                                                     win::kKeyAllAccess, key),
              0U);
    ASSERT_EQ(key.SetString("", R"(C:\Windows\System32\ctl.ocx)"), 0U);
    ASSERT_EQ(CurrentPlatform().files().writeFile(R"(C:\Windows\System32\ctl.ocx)", "x"), 0U);
    ASSERT_EQ(CurrentPlatform().registry().CreateKey(RegistryRoot::kCurrentUser, settings,
                                                     win::kKeyAllAccess, key),
              0U);
    ASSERT_EQ(key.SetDword("Flags", 1), 0U);
  }
  rig.served = FixtureConfig({0});
  rig.served.items[0].detects.push_back({classId, "clsid"});
  std::atomic<int> taskLists{0};
  rig.services.installTasksFor = [&](const CheckItem&, std::int32_t) {
    ++taskLists;
    return std::vector<InstallTask>{};
  };
  CCorvaneDlg& dlg = rig.start();
  EXPECT_EQ(dlg.config().items[0].state, kComponentDisabledFlag);
  EXPECT_EQ(rig.page.states().back(), "setState(2,1,8)");
  rig.page.calls.clear();
  dlg.install(1);
  EXPECT_THAT(rig.page.states(),
              ElementsAreArray({"setState(0,2,2999)", "setState(2,1,0)", "setState(0,3,1)"}));
  EXPECT_EQ(dlg.config().items[0].state, 0U);
  EXPECT_EQ(taskLists.load(), 0);
  RegistryKey key;
  EXPECT_NE(CurrentPlatform().registry().OpenKey(RegistryRoot::kCurrentUser, settings,
                                                 win::kKeyRead, key),
            0U);
}

// The one-click setup on a PC with a disabled add-on that must also be installed, a disabled
// installed one and a missing control: every add-on enabled, both installers run, each once,
// however often the page asks again while the first one runs.
TEST(DialogInstaller, OneClickSetupEnablesEveryAddOnAndInstallsEachComponentOnce) {
  const std::string installed = "{00000000-0000-0000-0000-0000000000B2}";
  const std::string missing = "{00000000-0000-0000-0000-0000000000A1}";
  const auto settings = [](const std::string& classId) {
    return R"(Software\Microsoft\Windows\CurrentVersion\Ext\Settings\)" + classId;
  };
  DialogRig rig;
  for (const std::string& classId : {installed, missing}) {
    RegistryKey key;
    ASSERT_EQ(CurrentPlatform().registry().CreateKey(RegistryRoot::kCurrentUser, settings(classId),
                                                     win::kKeyAllAccess, key),
              0U);
    ASSERT_EQ(key.SetDword("Flags", 1), 0U);
  }
  {
    RegistryKey key;
    ASSERT_EQ(CurrentPlatform().registry().CreateKey(RegistryRoot::kClassesRoot,
                                                     "CLSID\\" + installed + "\\InprocServer32",
                                                     win::kKeyAllAccess, key),
              0U);
    ASSERT_EQ(key.SetString("", R"(C:\Windows\System32\ctl.ocx)"), 0U);
    ASSERT_EQ(CurrentPlatform().files().writeFile(R"(C:\Windows\System32\ctl.ocx)", "x"), 0U);
  }
  rig.served = FixtureConfig({5, 0, 5});
  rig.served.items[1].detects.push_back({installed, "clsid"});
  rig.served.items[2].detects[0].text = "{00000000-0000-0000-0000-0000000000A3}";
  rig.services.installTasksFor = [](const CheckItem&, std::int32_t position) {
    InstallTask task;
    task.position = position;
    return std::vector<InstallTask>{task};
  };
  std::mutex mutex;
  std::vector<std::int32_t> downloaded;
  TestLatch release;
  rig.services.downloadInstallTask = [&](const InstallTask& task, std::atomic<std::int32_t>&,
                                         std::stop_token) {
    (void)release.waitFor(std::chrono::seconds(10));  // the first one holds the worker
    std::lock_guard lock(mutex);
    downloaded.push_back(task.position);
    return true;
  };
  rig.services.runInstallTask = [](const InstallTask&, std::stop_token) {
    return InstallRun::kNothingRun;
  };
  CCorvaneDlg& dlg = rig.start();
  ASSERT_EQ(dlg.config().items[0].state, 5U | kComponentDisabledFlag);
  ASSERT_EQ(dlg.config().items[1].state, kComponentDisabledFlag);
  ASSERT_EQ(dlg.config().items[2].state, 5U);

  dlg.installandfix();
  EXPECT_TRUE(dlg.installRunning());
  // The page's own button once more, and the rows' buttons, while the first installer runs.
  dlg.fix(0);
  dlg.install(0);
  dlg.installcom(1);
  dlg.installmulti(1, 3);
  release.countDown();
  rig.loop.runUntilIdle();

  std::lock_guard lock(mutex);
  EXPECT_EQ(downloaded, (std::vector<std::int32_t>{0, 2}));
  EXPECT_EQ(dlg.config().items[1].state & kComponentDisabledFlag, 0U);
  for (const std::string& classId : {installed, missing}) {
    RegistryKey key;
    EXPECT_NE(CurrentPlatform().registry().OpenKey(RegistryRoot::kCurrentUser, settings(classId),
                                                   win::kKeyRead, key),
              0U)
        << classId;
  }
}
#endif

}  // namespace
}  // namespace corvane::testing
