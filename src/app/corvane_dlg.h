#pragma once

// CCorvaneDlg: the system's only window. It owns the configuration model with the check
// results, the install queue and the workers, drives the check sequence with one-shot
// timers and is the only object that calls into the page.
//
// Threads. Everything here runs on the loop's thread except the worker bodies; the fields
// below are grouped by the thread that owns them (ThreadOwned asserts it). The configuration,
// update and probe workers run through ReplyWorker: each works on its own copy of what it
// needs and hands its result back to the dialog thread, which stores it and arms the next
// timer. The installer worker alone shares state (its queue under a mutex and four atomic
// values).
//
// Closing. close() asks every worker to stop and joins it, then disarms the timers; a worker
// body must therefore return soon after its stop token is set (downloads check it between
// chunks, waits use it). After close() nothing calls back into the dialog.

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/event_loop.h"
#include "app/page_bridge.h"
#include "app/page_host.h"
#include "app/reply_worker.h"
#include "app/thread_ownership.h"
#include "app/worker_thread.h"
#include "components/install_task.h"
#include "config/acquire_config.h"
#include "config/check_config.h"
#include "platform/win_errors.h"
#include "ui/prompts.h"
#include "update/self_update.h"

namespace corvane {

// What the dialog calls outside itself where a test needs a different answer or control over
// timing. The defaults are the system's own operations.
struct DialogServices {
  WorkerStarter startWorker = StartWorkerThread;
  std::function<bool()> internetConnected;
  std::function<AcquiredConfig(PromptHost&, std::stop_token)> acquireConfig;
  std::function<int(CheckConfig&, std::stop_token)> probeServices;
  std::function<UpdateOutcome(const CheckConfig&, std::stop_token)> checkForUpdate;
  std::function<std::vector<InstallTask>(const CheckItem&, std::int32_t)> installTasksFor;
  // Records the downloaded bytes' digest in the task, for runInstallTask to check.
  std::function<bool(InstallTask&, std::atomic<std::int32_t>&, std::stop_token)>
      downloadInstallTask;
  std::function<InstallRun(const InstallTask&, std::stop_token)> runInstallTask;
  // Called on the installer worker each time a task has left the queue, after the queue was
  // looked at; none by default. Tests interleave commands with the worker's end through it.
  std::function<void()> installTaskEnded;
  // The host's own options, quoted for a command line, that a restart after a self-update
  // passes after "/update" so the new instance runs as this one does; none by default.
  std::string restartArguments;
  // Told of each start of the browser for the "登录" link: its command line and whether it
  // started. The hosts record it and show the site themselves; none by default.
  std::function<void(std::string_view commandLine, bool started)> siteOpened;
};

// The system's own operations for every service.
DialogServices DefaultDialogServices();

class CCorvaneDlg final : public PageCommands {
 public:
  // Timer ids of the sequence.
  static constexpr int kTimerWaitConfig = 1;
  static constexpr int kTimerStartChecks = 2;
  static constexpr int kTimerDownloadProgress = 3;
  static constexpr int kTimerComponentPass = 4;
  static constexpr int kTimerUpdateReady = 5;
  static constexpr int kTimerInstallStatus = 6;
  static constexpr int kTimerWaitProbe = 7;
  static constexpr int kTimerFirstCheck = 8;
  static constexpr int kTimerLastCheck = 18;

  CCorvaneDlg(EventLoop& loop, PageHost& page, PromptHost& prompts);
  CCorvaneDlg(EventLoop& loop, PageHost& page, PromptHost& prompts, DialogServices services);
  CCorvaneDlg(const CCorvaneDlg&) = delete;
  CCorvaneDlg& operator=(const CCorvaneDlg&) = delete;
  CCorvaneDlg(CCorvaneDlg&&) = delete;
  CCorvaneDlg& operator=(CCorvaneDlg&&) = delete;
  ~CCorvaneDlg() override;

  // The window exists: starts the configuration download while the page loads.
  void OnInitDialog();
  // The page has loaded: items 1, 8 and 5, then the update check.
  void OnDocumentComplete();
  // A timer of the loop is due (the loop calls it; ids outside 1 to 18 do nothing).
  void OnTimer(int id);

  // window.external and the "onOpen" click.
  void install(std::int32_t n) override;
  void installcom(std::int32_t group) override;
  void installmulti(std::int32_t first, std::int32_t last) override;
  void fix(std::int32_t n) override;
  void check(std::int32_t n) override;
  void installandfix() override;
  void stop(std::int32_t n) override;
  void openSite() override;

  // 0, or E_PENDING while no configuration is loaded.
  win::HResult startUpdateCheck();
  // 0 once the service probe has finished (and item 7 is reported), else E_PENDING.
  win::HResult pollServiceProbe();
  // Item 1 (the Windows description) or item 6 (name resolution).
  void recheckItem(int n);

  // No timer armed, no task queued, no worker running, no command running.
  [[nodiscard]] bool isIdle() const;
  // Stops and joins the workers and disarms the timers. Also done by the destructor.
  void close();

  // Dialog thread only.
  [[nodiscard]] const CheckConfig& config() const { return dialogThread_->config; }
  [[nodiscard]] bool configFromServer() const { return dialogThread_->configFromServer; }
  [[nodiscard]] bool serverConfigApplied() const { return dialogThread_->serverConfigApplied; }
  [[nodiscard]] bool installRunning() const { return installRunning_.load(); }
  [[nodiscard]] bool acquisitionRunning() const { return acquisition_.pending(); }

 private:
  // Ends a command's stretch of work for isIdle().
  class CommandScope;
  // The table of the page's items and the steps of the check run (page_items.h).
  struct Items;

  static constexpr std::uint32_t kStepDelayMs = 100;
  static constexpr std::uint32_t kFirstPollMs = 500;
  static constexpr std::uint32_t kPollMs = 300;

  void startAcquisition();
  void finishAcquisition(AcquiredConfig acquired);
  void runCheckStep(int id);
  void startServiceProbe();
  void componentPass();
  void reportItem(std::int32_t item, bool ok);
  // Runs item `item`'s check, keeps and reports its result, then its follow-up re-check.
  // False while the result is still to come from a worker.
  bool checkItem(std::int32_t item);
  void repair(std::int32_t n);
  void oneClickSetup();
  // fix(15): installs every disabled component and reports the component rows again.
  void installDisabledComponents();
  void installEntry(std::int32_t n);
  // A command's tasks go into the queue together: a refusal after a failure of its first
  // task then drops all the others, however fast the worker was.
  void enqueueInstall(std::vector<InstallTask> tasks);
  // Ends a batch command (install(0), installcom, installmulti) and queues its tasks.
  void endInstallBatch();
  void installerLoop(const std::stop_token& stop);
  // Runs `task` on the dialog thread unless the dialog has closed meanwhile.
  void postToDialog(std::function<void()> task);
  void armFromWorker(int id, std::uint32_t ms);

  // Set at construction and only read afterwards: any thread.
  EventLoop& loop_;
  PromptHost& prompts_;
  const DialogServices services_;

  // The dialog thread's fields: every access asserts the thread in builds with assertions.
  struct DialogThreadState {
    explicit DialogThreadState(PageHost& host) : page(host) {}
    PageBridge page;
    CheckConfig config;
    bool closed = false;
    bool configFromServer = false;
    bool serverConfigApplied = false;
    std::array<bool, 4> groupUnreported{};
    bool batchInstall = false;
    std::vector<InstallTask> batchTasks;  // the tasks of the batch command running
    bool reacquirePending = false;        // a re-check asked for a new download meanwhile
    bool reportEachFix = true;
    int commandDepth = 0;
  };
  ThreadOwned<DialogThreadState> dialogThread_;
  // Workers whose results come back to the dialog thread (run and asked there).
  ReplyWorker<AcquiredConfig> acquisition_;
  ReplyWorker<UpdateOutcome> updateCheck_;
  ReplyWorker<bool> serviceProbe_;
  // Tells tasks posted by the installer worker that the dialog is still open (dialog thread).
  std::shared_ptr<bool> open_ = std::make_shared<bool>(true);

  // Shared by the dialog thread and the installer worker, only under its mutex.
  struct InstallerState {
    WorkerThread thread;
    std::deque<InstallTask> queue;
    bool active = false;  // a worker runs the queue; cleared with the queue found empty
  };
  mutable Guarded<InstallerState> installer_;
  // Written by the installer worker, read by the dialog thread.
  std::atomic<std::int32_t> currentInstallItem_{0};
  std::atomic<bool> installRunning_{false};
  std::atomic<std::int32_t> downloadPercent_{0};
  // The install statuses set by the worker and not shown yet, oldest first: timer 6 shows
  // each of them, so a status followed at once by the next (a download that fails in a
  // moment) still reaches the page.
  Guarded<std::vector<std::int32_t>> installStatuses_;
  // Sets a status and arms timer 6 to show it (installer worker).
  void setInstallStatus(std::int32_t status);
};

}  // namespace corvane
