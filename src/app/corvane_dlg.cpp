#include "app/corvane_dlg.h"

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

#include "app/page_items.h"
#include "checks/network_checks.h"
#include "components/component_report.h"
#include "usbkey/usb_key_report.h"

namespace corvane {

DialogServices DefaultDialogServices() {
  DialogServices services;
  services.internetConnected = IsInternetConnected;
  services.acquireConfig = AcquireConfig;
  services.probeServices = ProbeServices;
  services.checkForUpdate = updateThreadProc;
  services.installTasksFor = InstallTasksFor;
  services.downloadInstallTask = DownloadInstallTask;
  services.runInstallTask = RunInstallTask;
  return services;
}

class CCorvaneDlg::CommandScope {
 public:
  explicit CommandScope(CCorvaneDlg& dialog) : dialog_(dialog) {
    ++dialog_.dialogThread_->commandDepth;
  }
  CommandScope(const CommandScope&) = delete;
  CommandScope& operator=(const CommandScope&) = delete;
  CommandScope(CommandScope&&) = delete;
  CommandScope& operator=(CommandScope&&) = delete;
  ~CommandScope() { --dialog_.dialogThread_->commandDepth; }

 private:
  CCorvaneDlg& dialog_;
};

CCorvaneDlg::CCorvaneDlg(EventLoop& loop, PageHost& page, PromptHost& prompts)
    : CCorvaneDlg(loop, page, prompts, DefaultDialogServices()) {}

CCorvaneDlg::CCorvaneDlg(EventLoop& loop, PageHost& page, PromptHost& prompts,
                         DialogServices services)
    : loop_(loop),
      prompts_(prompts),
      services_(std::move(services)),
      dialogThread_(page),
      acquisition_(loop, services_.startWorker),
      updateCheck_(loop, services_.startWorker),
      serviceProbe_(loop, services_.startWorker) {
  loop_.setTimerHandler([this](int id) { OnTimer(id); });
}

CCorvaneDlg::~CCorvaneDlg() { close(); }

void CCorvaneDlg::OnInitDialog() { startAcquisition(); }

void CCorvaneDlg::OnDocumentComplete() {
  for (int order = 1;; ++order) {
    const ItemRow* row = Items::InOrder(&ItemRow::loadOrder, order);
    if (row == nullptr) break;
    checkItem(row->item);
  }
  if (startUpdateCheck() == win::kEPending) loop_.setTimer(kTimerWaitConfig, kFirstPollMs);
}

void CCorvaneDlg::OnTimer(int id) {
  if (dialogThread_->closed) return;
  loop_.killTimer(id);
  switch (id) {
    case kTimerWaitConfig:
      if (startUpdateCheck() == win::kEPending) loop_.setTimer(kTimerWaitConfig, kPollMs);
      break;
    case kTimerStartChecks:
      check(0);
      break;
    case kTimerDownloadProgress: {
      const std::int32_t percent = downloadPercent_.load();
      if (percent <= 100) dialogThread_->page.reportProgress(1, percent);
      if (percent < 100) loop_.setTimer(kTimerDownloadProgress, 500);
      break;
    }
    case kTimerComponentPass:
      componentPass();
      break;
    case kTimerUpdateReady:
      if (ApplyUpdate(prompts_, dialogThread_->config.appInfo, services_.restartArguments)) {
        // The new instance runs: this one ends as the window closes.
        loop_.quit();
      } else {
        loop_.setTimer(kTimerStartChecks, kStepDelayMs);
      }
      break;
    case kTimerInstallStatus: {
      std::vector<std::int32_t> statuses;
      std::swap(statuses, *installStatuses_.lock());
      for (const std::int32_t status : statuses) dialogThread_->page.reportStatus(status);
      break;
    }
    case kTimerWaitProbe:
      if (pollServiceProbe() == win::kEPending) loop_.setTimer(kTimerWaitProbe, kPollMs);
      break;
    default:
      if (id >= kTimerFirstCheck && id <= kTimerLastCheck) runCheckStep(id);
      break;
  }
}

void CCorvaneDlg::runCheckStep(int id) {
  const ItemRow* step = Items::Step(id);
  if (step == nullptr) return;
  dialogThread_->page.reportProgress(0, step->progress);
  if (id == kTimerLastCheck) {
    // The component pass is armed before the run is closed with 1999.
    loop_.setTimer(kTimerComponentPass, kStepDelayMs);
    dialogThread_->page.reportStatus(step->checkStatus);
    return;
  }
  dialogThread_->page.reportStatus(step->checkStatus);
  if (step->check != nullptr && !checkItem(step->item)) return;  // the worker arms the next
  loop_.setTimer(id + 1, kStepDelayMs);
}

bool CCorvaneDlg::checkItem(std::int32_t item) {
  const ItemRow* row = Items::Item(item);
  if (row == nullptr || row->check == nullptr) return true;
  const ItemFinding finding = row->check(*this);
  if (finding.pending) return false;
  if (row->result != nullptr) dialogThread_->config.*(row->result) = finding.ok;
  if (finding.text) {
    dialogThread_->page.reportStateText(1, row->item, *finding.text);
  } else {
    reportItem(row->item, finding.ok);
  }
  if (row->recheck != 0) checkItem(row->recheck);
  return true;
}

void CCorvaneDlg::reportItem(std::int32_t item, bool ok) {
  dialogThread_->page.reportState(1, item, ok ? 0 : 1);
}

win::HResult CCorvaneDlg::startUpdateCheck() {
  if (!dialogThread_->config.configLoaded) return win::kEPending;
  // installRunning belongs to the installer worker; clearing it while an installation runs
  // would let single install commands start a second queue run, so only the batch flag goes.
  dialogThread_->batchInstall = false;
  updateCheck_.run([checkForUpdate = services_.checkForUpdate, snapshot = dialogThread_->config](
                       std::stop_token stop) { return checkForUpdate(snapshot, stop); },
                   [this](UpdateOutcome outcome) {
                     loop_.setTimer(outcome == UpdateOutcome::kUpdateReady ? kTimerUpdateReady
                                                                           : kTimerStartChecks,
                                    kStepDelayMs);
                   });
  return win::kSOk;
}

void CCorvaneDlg::startServiceProbe() {
  dialogThread_->config.serviceProbeDone = false;
  serviceProbe_.run(
      [probeServices = services_.probeServices,
       snapshot = dialogThread_->config](std::stop_token stop) mutable {
        probeServices(snapshot, std::move(stop));
        return snapshot.serviceOk;
      },
      [this](bool serviceOk) {
        dialogThread_->config.serviceOk = serviceOk;
        dialogThread_->config.serviceProbeDone = true;
      });
}

win::HResult CCorvaneDlg::pollServiceProbe() {
  if (!dialogThread_->config.serviceProbeDone) return win::kEPending;
  reportItem(7, dialogThread_->config.serviceOk);
  loop_.setTimer(Items::Item(7)->timer + 1, kStepDelayMs);
  return win::kSOk;
}

void CCorvaneDlg::recheckItem(int n) {
  if (n == 1 || n == 6) checkItem(n);
}

void CCorvaneDlg::startAcquisition() {
  if (acquisition_.pending()) {
    // Two acquisitions never run at once: the running one finishes, then the next starts.
    dialogThread_->reacquirePending = true;
    return;
  }
  acquisition_.run([acquireConfig = services_.acquireConfig, &prompts = prompts_](
                       std::stop_token stop) { return acquireConfig(prompts, stop); },
                   [this](AcquiredConfig acquired) { finishAcquisition(std::move(acquired)); });
}

void CCorvaneDlg::finishAcquisition(AcquiredConfig acquired) {
  dialogThread_->configFromServer = acquired.fromServer;
  if (acquired.serverConfigApplied)
    dialogThread_->serverConfigApplied = *acquired.serverConfigApplied;
  // A document that did not parse leaves the model in use as it was.
  if (acquired.model.configLoaded) {
    dialogThread_->config.base = std::move(acquired.model.base);
    dialogThread_->config.sections = std::move(acquired.model.sections);
    dialogThread_->config.items = std::move(acquired.model.items);
    dialogThread_->config.components = std::move(acquired.model.components);
    dialogThread_->config.appInfo = std::move(acquired.model.appInfo);
  }
  if (dialogThread_->reacquirePending) {
    dialogThread_->reacquirePending = false;
    startAcquisition();
    return;
  }
  dialogThread_->config.configLoaded = acquired.model.configLoaded;
}

void CCorvaneDlg::componentPass() {
  DialogThreadState& state = *dialogThread_;
  DetectComponents(state.config.items);
  DetectComponents(state.config.components);
  state.groupUnreported.fill(true);
  const auto count = static_cast<std::int32_t>(state.config.items.size());
  for (std::int32_t n = 1; n <= count; ++n) {
    state.page.show(
        ComponentStates(state.config, state.configFromServer, state.groupUnreported, n));
  }
  state.page.show(ReportUsbKeys(state.config));
  state.page.reportSummary(state.config);
  for (std::int32_t n = 1; n <= count; ++n) {
    if ((state.config.items[static_cast<std::size_t>(n) - 1].state & kComponentDisabledFlag) != 0) {
      state.page.show(DisabledComponentStates(state.config, n));
    } else {
      state.page.show(
          ComponentStates(state.config, state.configFromServer, state.groupUnreported, n));
    }
  }
}

void CCorvaneDlg::check(std::int32_t n) {
  CommandScope scope(*this);
  if (installRunning_.load()) return;
  dialogThread_->page.reportProgress(0, 0);
  if (n == 1) {
    dialogThread_->config.configLoaded = false;
    startAcquisition();
    if (startUpdateCheck() == win::kEPending) loop_.setTimer(kTimerWaitConfig, kFirstPollMs);
    return;
  }
  dialogThread_->page.reportStatus(Items::kRunStartStatus);
  loop_.setTimer(kTimerFirstCheck, kStepDelayMs);
}

void CCorvaneDlg::fix(std::int32_t n) {
  CommandScope scope(*this);
  if (n == 0 && !dialogThread_->serverConfigApplied && !installRunning_.load()) {
    dialogThread_->page.reportProgress(0, 0);
    dialogThread_->config.configLoaded = false;
    startAcquisition();
    if (startUpdateCheck() == win::kEPending) loop_.setTimer(kTimerWaitConfig, kFirstPollMs);
  }
  repair(n);
  if (dialogThread_->reportEachFix) {
    dialogThread_->page.reportStatus(Items::kFixEndStatus);
    dialogThread_->page.reportSummary(dialogThread_->config);
  }
}

void CCorvaneDlg::repair(std::int32_t n) {
  if (n == 0) {
    oneClickSetup();
    return;
  }
  const ItemRow* row = Items::Item(n);
  if (row == nullptr || row->repair == nullptr) return;
  if (row->repairStatus != 0) dialogThread_->page.reportStatus(row->repairStatus);
  const bool done = row->repair(*this);
  if (row->fixInside != 0) fix(row->fixInside);
  if (done && row->repairMessage != 0) promptInfo(prompts_, row->repairMessage, 0);
  checkItem(n);
}

void CCorvaneDlg::installDisabledComponents() {
  DialogThreadState& state = *dialogThread_;
  const std::vector<CheckItem>& items = state.config.items;
  const auto count = static_cast<std::int32_t>(items.size());
  // One batch: the first add-on that needs its installer starts the worker, and every later
  // one must still be enabled and queued rather than ignored as a click during an install.
  const bool outerBatch = state.batchInstall;
  state.batchInstall = true;
  for (std::int32_t p = 1; p <= count; ++p) {
    if (static_cast<std::size_t>(p) > items.size()) break;
    if ((items[static_cast<std::size_t>(p) - 1].state & kComponentDisabledFlag) != 0) {
      installEntry(p);
    }
    for (std::int32_t q = 1; q <= static_cast<std::int32_t>(items.size()); ++q) {
      if ((items[static_cast<std::size_t>(q) - 1].state & kComponentDisabledFlag) != 0) {
        state.page.show(DisabledComponentStates(state.config, q));
      } else {
        state.page.show(
            ComponentStates(state.config, state.configFromServer, state.groupUnreported, q));
      }
    }
  }
  if (!outerBatch) endInstallBatch();
}

void CCorvaneDlg::oneClickSetup() {
  dialogThread_->reportEachFix = false;
  for (int order = 1;; ++order) {
    const ItemRow* row = Items::InOrder(&ItemRow::setupOrder, order);
    if (row == nullptr) break;
    if (row->setup == ItemSetup::kQuietly) {
      row->repair(*this);
    } else if (row->result == nullptr || !(dialogThread_->config.*(row->result))) {
      fix(row->item);
    }
  }
  dialogThread_->reportEachFix = true;
}

void CCorvaneDlg::installandfix() {
  CommandScope scope(*this);
  fix(0);
  install(0);
}

void CCorvaneDlg::stop(std::int32_t /*n*/) {}

void CCorvaneDlg::openSite() {
  CommandScope scope(*this);
  const std::string commandLine = SiteCommandLine();
  const bool started = launchAsDesktopUser(commandLine);
  if (services_.siteOpened) services_.siteOpened(commandLine, started);
}

void CCorvaneDlg::install(std::int32_t n) {
  CommandScope scope(*this);
  installEntry(n);
}

void CCorvaneDlg::installcom(std::int32_t group) {
  CommandScope scope(*this);
  dialogThread_->batchInstall = true;
  for (std::size_t i = 0; i < dialogThread_->config.items.size(); ++i) {
    if (RowOfType(dialogThread_->config.items[i].type) == group && group != 0) {
      installEntry(static_cast<std::int32_t>(i + 1));
    }
  }
  endInstallBatch();
}

void CCorvaneDlg::installmulti(std::int32_t first, std::int32_t last) {
  CommandScope scope(*this);
  dialogThread_->batchInstall = true;
  // Entries outside the list do nothing, so the range is cut to 0 .. size first: the loop
  // then neither overflows nor runs for billions of empty entries.
  const auto size = static_cast<std::int64_t>(std::min<std::size_t>(
      dialogThread_->config.items.size(), std::numeric_limits<std::int32_t>::max()));
  const std::int64_t to = std::min<std::int64_t>(last, size);
  for (std::int64_t i = std::max(first, 0); i <= to; ++i) {
    installEntry(static_cast<std::int32_t>(i));
  }
  endInstallBatch();
}

void CCorvaneDlg::installEntry(std::int32_t n) {
  // install(0) is a batch of its own and queues what is not queued yet even while an
  // installation runs: the one-click setup calls it right after fix(0), which may have
  // started the worker for a re-enabled add-on.
  if (installRunning_.load() && !dialogThread_->batchInstall && n != 0) return;
  if (n == 0) {
    if (!dialogThread_->configFromServer) return;
    dialogThread_->batchInstall = true;
    for (std::size_t i = 1; i <= dialogThread_->config.items.size(); ++i) {
      installEntry(static_cast<std::int32_t>(i));
    }
    endInstallBatch();
    return;
  }
  if (n < 0 || static_cast<std::size_t>(n) > dialogThread_->config.items.size()) return;
  CheckItem& entry = dialogThread_->config.items[static_cast<std::size_t>(n) - 1];
  if ((entry.state & kComponentDisabledFlag) != 0) {
    // A disabled add-on is enabled again by removing its settings, then every row is shown
    // anew.
    for (const DetectRule& rule : entry.detects) {
      if (rule.type == "clsid") IsAddOnDisabled(rule.text, true);
    }
    entry.state &= ~kComponentDisabledFlag;
    DialogThreadState& state = *dialogThread_;
    state.page.reportStatus(Items::kFixEndStatus);
    const auto count = static_cast<std::int32_t>(state.config.items.size());
    for (std::int32_t i = 1; i <= count; ++i) {
      if ((state.config.items[static_cast<std::size_t>(i) - 1].state & kComponentDisabledFlag) !=
          0) {
        state.page.show(DisabledComponentStates(state.config, i));
      } else {
        state.page.show(
            ComponentStates(state.config, state.configFromServer, state.groupUnreported, i));
      }
    }
    state.page.reportSummary(state.config);
  }
  const ComponentState code = entry.state & 0x3FFFFFFFU;
  if (code == kComponentInstalled || code == kComponentNotDetected) return;
  std::vector<InstallTask> tasks = services_.installTasksFor(entry, n - 1);
  if (dialogThread_->batchInstall) {
    // Queued with the rest of the command at its end (endInstallBatch).
    for (InstallTask& task : tasks) dialogThread_->batchTasks.push_back(std::move(task));
    return;
  }
  enqueueInstall(std::move(tasks));
}

void CCorvaneDlg::endInstallBatch() {
  dialogThread_->batchInstall = false;
  std::vector<InstallTask> tasks = std::move(dialogThread_->batchTasks);
  dialogThread_->batchTasks.clear();
  enqueueInstall(std::move(tasks));
}

void CCorvaneDlg::enqueueInstall(std::vector<InstallTask> tasks) {
  if (tasks.empty()) return;
  bool started = false;
  {
    auto installer = installer_.lock();
    // An entry already waiting or being installed (the front task stays queued while it
    // runs) is not queued again, however often it is asked for.
    std::vector<std::int32_t> queued;
    for (const InstallTask& task : installer->queue) queued.push_back(task.position);
    for (InstallTask& task : tasks) {
      if (std::find(queued.begin(), queued.end(), task.position) != queued.end()) continue;
      installer->queue.push_back(std::move(task));
    }
    if (installer->queue.empty()) return;
    if (!installer->active) {
      installer->active = true;
      // Set here rather than by the worker, so that no command slips in before it starts.
      installRunning_ = true;
      installer->thread =
          services_.startWorker([this](std::stop_token stop) { installerLoop(stop); });
      started = true;
    }
  }
  if (started) loop_.setTimer(kTimerDownloadProgress, 500);
}

void CCorvaneDlg::installerLoop(const std::stop_token& stop) {
  while (true) {
    InstallTask task;
    {
      auto installer = installer_.lock();
      if (installer->queue.empty()) {
        // Said in the same critical section that finds the queue empty: a command that
        // queues a task after it sees no worker and starts one.
        installRunning_ = false;
        installer->active = false;
        return;
      }
      task = installer->queue.front();
    }
    downloadPercent_ = 0;
    currentInstallItem_ = task.position;
    armFromWorker(kTimerDownloadProgress, 500);
    setInstallStatus(2);
    // The user's refusal after a failure drops every task still waiting.
    bool refused = false;
    const bool downloaded = services_.downloadInstallTask(task, downloadPercent_, stop);
    // Whatever the download left (a chunked body has no length to count against, so its
    // percentage stays 0), its end ends the progress display; else timer 3 runs for ever.
    downloadPercent_ = 100;
    if (!downloaded) {
      if (!stop.stop_requested()) refused = promptChoice(prompts_, 145, 146, 147) == kIdNo;
    } else {
      setInstallStatus(3);
      const InstallRun run = services_.runInstallTask(task, stop);
      if (run == InstallRun::kStarted) {
        armFromWorker(kTimerComponentPass, 0);
      } else if (run == InstallRun::kFailedToStart && !stop.stop_requested()) {
        refused = promptChoice(prompts_, 149, 150, 151) == kIdNo;
      }
    }
    setInstallStatus(1);
    bool stopped = false;
    {
      auto installer = installer_.lock();
      if (stop.stop_requested() || refused) installer->queue.clear();
      if (!installer->queue.empty()) installer->queue.pop_front();
      if (installer->queue.empty()) {
        installRunning_ = false;
        installer->active = false;
        stopped = true;
      }
    }
    if (services_.installTaskEnded) services_.installTaskEnded();
    if (stopped) return;
  }
}

void CCorvaneDlg::postToDialog(std::function<void()> task) {
  loop_.post([open = std::weak_ptr<bool>(open_), task = std::move(task)] {
    auto alive = open.lock();
    if (alive && *alive) task();
  });
}

void CCorvaneDlg::setInstallStatus(std::int32_t status) {
  installStatuses_.lock()->push_back(status);
  armFromWorker(kTimerInstallStatus, 0);
}

void CCorvaneDlg::armFromWorker(int id, std::uint32_t ms) {
  postToDialog([this, id, ms] { loop_.setTimer(id, ms); });
}

bool CCorvaneDlg::isIdle() const {
  if (dialogThread_->commandDepth > 0 || acquisition_.pending() || updateCheck_.pending() ||
      serviceProbe_.pending()) {
    return false;
  }
  if (installRunning_.load()) return false;
  if (installer_.lock()->active) return false;
  return loop_.empty();
}

void CCorvaneDlg::close() {
  if (dialogThread_->closed) return;
  dialogThread_->closed = true;
  acquisition_.close();
  updateCheck_.close();
  serviceProbe_.close();
  {
    // The installer takes the lock to finish; join outside it.
    WorkerThread installer = std::move(installer_.lock()->thread);
    installer.stopAndJoin();
  }
  *open_ = false;
  for (int id = kTimerWaitConfig; id <= kTimerLastCheck; ++id) loop_.killTimer(id);
  loop_.setTimerHandler({});
}

}  // namespace corvane
