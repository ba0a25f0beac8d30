#include "app/corvane_dlg.h"

#include <algorithm>
#include <array>
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
  explicit CommandScope(CCorvaneDlg& dialog) : dialog_(dialog) { ++dialog_.commandDepth_; }
  CommandScope(const CommandScope&) = delete;
  CommandScope& operator=(const CommandScope&) = delete;
  CommandScope(CommandScope&&) = delete;
  CommandScope& operator=(CommandScope&&) = delete;
  ~CommandScope() { --dialog_.commandDepth_; }

 private:
  CCorvaneDlg& dialog_;
};

CCorvaneDlg::CCorvaneDlg(EventLoop& loop, PageHost& page, PromptHost& prompts)
    : CCorvaneDlg(loop, page, prompts, DefaultDialogServices()) {}

CCorvaneDlg::CCorvaneDlg(EventLoop& loop, PageHost& page, PromptHost& prompts,
                         DialogServices services)
    : loop_(loop), prompts_(prompts), page_(page), services_(std::move(services)) {
  loop_.setTimerHandler([this](int id) { OnTimer(id); });
}

CCorvaneDlg::~CCorvaneDlg() { close(); }

void CCorvaneDlg::OnInitDialog() { startAcquisition(); }

void CCorvaneDlg::OnDocumentComplete() {
  for (int order = 1;; ++order) {
    const auto row = std::ranges::find(Items::kRows, order, &ItemRow::loadOrder);
    if (row == Items::kRows.end()) break;
    checkItem(row->item);
  }
  if (startUpdateCheck() == win::kEPending) loop_.setTimer(kTimerWaitConfig, kFirstPollMs);
}

void CCorvaneDlg::OnTimer(int id) {
  if (closed_) return;
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
      if (percent <= 100) page_.reportProgress(1, percent);
      if (percent < 100) loop_.setTimer(kTimerDownloadProgress, 500);
      break;
    }
    case kTimerComponentPass:
      componentPass();
      break;
    case kTimerUpdateReady:
      if (ApplyUpdate(prompts_, config_.appInfo)) {
        // The new instance runs: this one ends as the window closes.
        loop_.quit();
      } else {
        loop_.setTimer(kTimerStartChecks, kStepDelayMs);
      }
      break;
    case kTimerInstallStatus:
      page_.reportStatus(installStatus_.load());
      break;
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
  page_.reportProgress(0, step->progress);
  if (id == kTimerLastCheck) {
    // The component pass is armed before the run is closed with 1999.
    loop_.setTimer(kTimerComponentPass, kStepDelayMs);
    page_.reportStatus(step->checkStatus);
    return;
  }
  page_.reportStatus(step->checkStatus);
  if (step->check != nullptr && !checkItem(step->item)) return;  // the worker arms the next
  loop_.setTimer(id + 1, kStepDelayMs);
}

bool CCorvaneDlg::checkItem(std::int32_t item) {
  const ItemRow* row = Items::Item(item);
  if (row == nullptr || row->check == nullptr) return true;
  const ItemFinding finding = row->check(*this);
  if (finding.pending) return false;
  if (row->result != nullptr) config_.*(row->result) = finding.ok;
  if (finding.text) {
    page_.reportStateText(1, row->item, *finding.text);
  } else {
    reportItem(row->item, finding.ok);
  }
  if (row->recheck != 0) checkItem(row->recheck);
  return true;
}

void CCorvaneDlg::reportItem(std::int32_t item, bool ok) { page_.reportState(1, item, ok ? 0 : 1); }

win::HResult CCorvaneDlg::startUpdateCheck() {
  if (!config_.configLoaded) return win::kEPending;
  // installRunning belongs to the installer worker; clearing it while an installation runs
  // would let single install commands start a second queue run, so only the batch flag goes.
  batchInstall_ = false;
  updateRunning_ = true;
  const std::uint64_t generation = ++updateGeneration_;
  CheckConfig snapshot = config_;
  updateThread_ = services_.startWorker([this, generation,
                                         snapshot = std::move(snapshot)](std::stop_token stop) {
    const UpdateOutcome outcome = services_.checkForUpdate(snapshot, stop);
    if (stop.stop_requested()) return;
    postToDialog([this, generation, outcome] {
      if (generation == updateGeneration_) updateRunning_ = false;
      loop_.setTimer(outcome == UpdateOutcome::kUpdateReady ? kTimerUpdateReady : kTimerStartChecks,
                     kStepDelayMs);
    });
  });
  return win::kSOk;
}

void CCorvaneDlg::startServiceProbe() {
  config_.serviceProbeDone = false;
  probeRunning_ = true;
  const std::uint64_t generation = ++probeGeneration_;
  CheckConfig snapshot = config_;
  probeThread_ = services_.startWorker(
      [this, generation, snapshot = std::move(snapshot)](std::stop_token stop) mutable {
        services_.probeServices(snapshot);
        if (stop.stop_requested()) return;
        const bool serviceOk = snapshot.serviceOk;
        postToDialog([this, generation, serviceOk] {
          if (generation != probeGeneration_) return;  // a later probe has replaced this one
          probeRunning_ = false;
          config_.serviceOk = serviceOk;
          config_.serviceProbeDone = true;
        });
      });
}

win::HResult CCorvaneDlg::pollServiceProbe() {
  if (!config_.serviceProbeDone) return win::kEPending;
  reportItem(7, config_.serviceOk);
  loop_.setTimer(Items::Item(7)->timer + 1, kStepDelayMs);
  probeThread_ = WorkerThread();
  return win::kSOk;
}

void CCorvaneDlg::recheckItem(int n) {
  if (n == 1 || n == 6) checkItem(n);
}

void CCorvaneDlg::startAcquisition() {
  if (acquiring_) {
    // Two acquisitions never run at once: the running one finishes, then the next starts.
    reacquirePending_ = true;
    return;
  }
  acquiring_ = true;
  configThread_ = services_.startWorker([this](std::stop_token stop) {
    AcquiredConfig acquired = services_.acquireConfig(prompts_, stop);
    if (stop.stop_requested()) return;
    postToDialog([this, acquired = std::move(acquired)]() mutable {
      finishAcquisition(std::move(acquired));
    });
  });
}

void CCorvaneDlg::finishAcquisition(AcquiredConfig acquired) {
  configThread_ = WorkerThread();
  acquiring_ = false;
  configFromServer_ = acquired.fromServer;
  if (acquired.serverConfigApplied) serverConfigApplied_ = *acquired.serverConfigApplied;
  // A document that did not parse leaves the model in use as it was.
  if (acquired.model.configLoaded) {
    config_.base = std::move(acquired.model.base);
    config_.sections = std::move(acquired.model.sections);
    config_.items = std::move(acquired.model.items);
    config_.components = std::move(acquired.model.components);
    config_.appInfo = std::move(acquired.model.appInfo);
  }
  if (reacquirePending_) {
    reacquirePending_ = false;
    startAcquisition();
    return;
  }
  config_.configLoaded = acquired.model.configLoaded;
}

void CCorvaneDlg::componentPass() {
  DetectComponents(config_.items);
  DetectComponents(config_.components);
  groupUnreported_.fill(true);
  const auto count = static_cast<std::int32_t>(config_.items.size());
  for (std::int32_t n = 1; n <= count; ++n) {
    page_.show(ComponentStates(config_, configFromServer_, groupUnreported_, n));
  }
  page_.show(UsbKeyStates(config_));
  page_.reportSummary(config_);
  for (std::int32_t n = 1; n <= count; ++n) {
    if ((config_.items[static_cast<std::size_t>(n) - 1].state & kComponentDisabledFlag) != 0) {
      page_.show(DisabledComponentStates(config_, n));
    } else {
      page_.show(ComponentStates(config_, configFromServer_, groupUnreported_, n));
    }
  }
}

void CCorvaneDlg::check(std::int32_t n) {
  CommandScope scope(*this);
  if (installRunning_.load()) return;
  page_.reportProgress(0, 0);
  if (n == 1) {
    config_.configLoaded = false;
    startAcquisition();
    if (startUpdateCheck() == win::kEPending) loop_.setTimer(kTimerWaitConfig, kFirstPollMs);
    return;
  }
  page_.reportStatus(Items::kRunStartStatus);
  loop_.setTimer(kTimerFirstCheck, kStepDelayMs);
}

void CCorvaneDlg::fix(std::int32_t n) {
  CommandScope scope(*this);
  if (n == 0 && !serverConfigApplied_ && !installRunning_.load()) {
    page_.reportProgress(0, 0);
    config_.configLoaded = false;
    startAcquisition();
    if (startUpdateCheck() == win::kEPending) loop_.setTimer(kTimerWaitConfig, kFirstPollMs);
  }
  repair(n);
  if (reportEachFix_) {
    page_.reportStatus(Items::kFixEndStatus);
    page_.reportSummary(config_);
  }
}

void CCorvaneDlg::repair(std::int32_t n) {
  if (n == 0) {
    oneClickSetup();
    return;
  }
  const ItemRow* row = Items::Item(n);
  if (row == nullptr || row->repair == nullptr) return;
  if (row->repairStatus != 0) page_.reportStatus(row->repairStatus);
  const bool done = row->repair(*this);
  if (row->fixInside != 0) fix(row->fixInside);
  if (done && row->repairMessage != 0) promptInfo(prompts_, row->repairMessage, 0);
  checkItem(n);
}

void CCorvaneDlg::installDisabledComponents() {
  const auto count = static_cast<std::int32_t>(config_.items.size());
  for (std::int32_t p = 1; p <= count; ++p) {
    if (static_cast<std::size_t>(p) > config_.items.size()) break;
    if ((config_.items[static_cast<std::size_t>(p) - 1].state & kComponentDisabledFlag) != 0) {
      install(p);
    }
    for (std::int32_t q = 1; q <= static_cast<std::int32_t>(config_.items.size()); ++q) {
      if ((config_.items[static_cast<std::size_t>(q) - 1].state & kComponentDisabledFlag) != 0) {
        page_.show(DisabledComponentStates(config_, q));
      } else {
        page_.show(ComponentStates(config_, configFromServer_, groupUnreported_, q));
      }
    }
  }
}

void CCorvaneDlg::oneClickSetup() {
  reportEachFix_ = false;
  for (int order = 1;; ++order) {
    const auto row = std::ranges::find(Items::kRows, order, &ItemRow::setupOrder);
    if (row == Items::kRows.end()) break;
    if (row->setup == ItemSetup::kQuietly) {
      row->repair(*this);
    } else if (row->result == nullptr || !(config_.*(row->result))) {
      fix(row->item);
    }
  }
  reportEachFix_ = true;
}

void CCorvaneDlg::installandfix() {
  CommandScope scope(*this);
  fix(0);
  install(0);
}

void CCorvaneDlg::stop(std::int32_t /*n*/) {}

void CCorvaneDlg::openSite() {
  CommandScope scope(*this);
  launchAsDesktopUser(SiteCommandLine());
}

void CCorvaneDlg::install(std::int32_t n) {
  CommandScope scope(*this);
  installEntry(n);
}

void CCorvaneDlg::installcom(std::int32_t group) {
  CommandScope scope(*this);
  batchInstall_ = true;
  for (std::size_t i = 0; i < config_.items.size(); ++i) {
    if (RowOfType(config_.items[i].type) == group && group != 0) {
      installEntry(static_cast<std::int32_t>(i + 1));
    }
  }
  batchInstall_ = false;
}

void CCorvaneDlg::installmulti(std::int32_t first, std::int32_t last) {
  CommandScope scope(*this);
  batchInstall_ = true;
  for (std::int32_t i = first; i <= last; ++i) installEntry(i);
  batchInstall_ = false;
}

void CCorvaneDlg::installEntry(std::int32_t n) {
  if (installRunning_.load() && !batchInstall_) return;
  if (n == 0) {
    if (!configFromServer_) return;
    batchInstall_ = true;
    for (std::size_t i = 1; i <= config_.items.size(); ++i) {
      installEntry(static_cast<std::int32_t>(i));
    }
    batchInstall_ = false;
    return;
  }
  if (n < 0 || static_cast<std::size_t>(n) > config_.items.size()) return;
  const CheckItem& entry = config_.items[static_cast<std::size_t>(n) - 1];
  const ComponentState code = entry.state & 0x3FFFFFFFU;
  if (code == kComponentInstalled || code == kComponentNotDetected) return;
  for (InstallTask& task : services_.installTasksFor(entry, n - 1)) enqueueInstall(std::move(task));
}

void CCorvaneDlg::enqueueInstall(InstallTask task) {
  bool started = false;
  {
    std::lock_guard lock(installLock_);
    installQueue_.push_back(std::move(task));
    if (!installerActive_) {
      installerActive_ = true;
      // Set here rather than by the worker, so that no command slips in before it starts.
      installRunning_ = true;
      installThread_ = services_.startWorker([this](std::stop_token stop) { installerLoop(stop); });
      started = true;
    }
  }
  if (started) loop_.setTimer(kTimerDownloadProgress, 500);
}

void CCorvaneDlg::installerLoop(const std::stop_token& stop) {
  bool keepGoing = true;
  while (keepGoing) {
    InstallTask task;
    {
      std::lock_guard lock(installLock_);
      if (installQueue_.empty()) break;
      task = installQueue_.front();
    }
    downloadPercent_ = 0;
    currentInstallItem_ = task.position;
    armFromWorker(kTimerDownloadProgress, 500);
    installStatus_ = 2;
    armFromWorker(kTimerInstallStatus, 0);
    if (!services_.downloadInstallTask(task, downloadPercent_, stop)) {
      downloadPercent_ = 100;  // ends the progress display
    } else {
      installStatus_ = 3;
      armFromWorker(kTimerInstallStatus, 0);
      if (services_.runInstallTask(task, stop) == InstallRun::kStarted) {
        armFromWorker(kTimerComponentPass, 0);
      }
    }
    installStatus_ = 1;
    armFromWorker(kTimerInstallStatus, 0);
    std::lock_guard lock(installLock_);
    if (stop.stop_requested()) installQueue_.clear();
    if (!installQueue_.empty()) installQueue_.pop_front();
    if (installQueue_.empty()) keepGoing = false;
  }
  std::lock_guard lock(installLock_);
  installRunning_ = false;
  installerActive_ = false;
}

void CCorvaneDlg::postToDialog(std::function<void()> task) {
  loop_.post([open = std::weak_ptr<bool>(open_), task = std::move(task)] {
    auto alive = open.lock();
    if (alive && *alive) task();
  });
}

void CCorvaneDlg::armFromWorker(int id, std::uint32_t ms) {
  postToDialog([this, id, ms] { loop_.setTimer(id, ms); });
}

bool CCorvaneDlg::isIdle() const {
  if (commandDepth_ > 0 || acquiring_ || updateRunning_ || probeRunning_) return false;
  if (installRunning_.load()) return false;
  {
    std::lock_guard lock(installLock_);
    if (installerActive_) return false;
  }
  return loop_.empty();
}

void CCorvaneDlg::close() {
  if (closed_) return;
  closed_ = true;
  configThread_.stopAndJoin();
  updateThread_.stopAndJoin();
  probeThread_.stopAndJoin();
  {
    // The installer takes the lock to finish; join outside it.
    WorkerThread installer;
    {
      std::lock_guard lock(installLock_);
      installer = std::move(installThread_);
    }
    installer.stopAndJoin();
  }
  *open_ = false;
  for (int id = kTimerWaitConfig; id <= kTimerLastCheck; ++id) loop_.killTimer(id);
  loop_.setTimerHandler({});
}

}  // namespace corvane
