#include "app/corvane_dlg.h"

#include <array>
#include <utility>

#include "checks/environment_checks.h"
#include "checks/network_checks.h"
#include "checks/root_certificates.h"
#include "checks/system_description.h"
#include "components/component_report.h"
#include "usbkey/usb_key_report.h"

namespace corvane {

namespace {

constexpr std::uint32_t kStepDelayMs = 100;
constexpr std::uint32_t kFirstPollMs = 500;
constexpr std::uint32_t kPollMs = 300;

// One step of timers 8 to 18: progress, status code.
struct CheckStep {
  std::int32_t progress;
  std::int32_t status;
};

constexpr CheckStep StepOf(int id) {
  constexpr std::array<CheckStep, 11> kSteps{{
      {9, 1002},
      {18, 1003},
      {27, 1004},
      {36, 1005},
      {45, 1006},
      {54, 1007},
      {63, 1013},
      {72, 1009},
      {81, 1010},
      {90, 1011},
      {100, 1999},
  }};
  return kSteps.at(static_cast<std::size_t>(id - CCorvaneDlg::kTimerFirstCheck));
}

}  // namespace

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
    : loop_(loop), pageHost_(page), prompts_(prompts), page_(page), services_(std::move(services)) {
  loop_.setTimerHandler([this](int id) { OnTimer(id); });
}

CCorvaneDlg::~CCorvaneDlg() { close(); }

void CCorvaneDlg::OnInitDialog() { startAcquisition(); }

void CCorvaneDlg::OnDocumentComplete() {
  recheckItem(1);
  page_.reportStateText(1, 8, ReadIeVersion());
  config_.connected = services_.internetConnected();
  reportItem(5, config_.connected);
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
  const CheckStep step = StepOf(id);
  page_.reportProgress(0, step.progress);
  if (id == kTimerLastCheck) {
    // The component pass is armed before the run is closed with 1999.
    loop_.setTimer(kTimerComponentPass, kStepDelayMs);
    page_.reportStatus(step.status);
    return;
  }
  page_.reportStatus(step.status);
  int next = id + 1;
  switch (id) {
    case 8:
      reportItem(2, CheckRegistry(config_, false));
      break;
    case 9:
      reportItem(3, CheckHostsFile(config_, false));
      recheckItem(6);
      break;
    case 10:
      config_.rootCertOk = CheckRootCertificates() >= 0;
      reportItem(4, config_.rootCertOk);
      break;
    case 11:
      config_.connected = services_.internetConnected();
      reportItem(5, config_.connected);
      break;
    case 12:
      recheckItem(6);
      break;
    case 13:
      if (config_.connected) {
        startServiceProbe();
        // pollServiceProbe arms timer 14 once the probe has finished.
        if (pollServiceProbe() == win::kEPending) loop_.setTimer(kTimerWaitProbe, kFirstPollMs);
        return;
      }
      config_.serviceOk = false;
      reportItem(7, false);
      break;
    case 14:
      break;  // proxy settings: nothing is checked
    case 15:
      reportItem(9, CheckHomepagePolicy(config_, false));
      break;
    case 16:
      reportItem(10, CheckSecurityLevel(config_, false));
      break;
    case 17:
      reportItem(11, CheckTrustedSites(config_, false));
      break;
    default:
      break;
  }
  loop_.setTimer(next, kStepDelayMs);
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
  loop_.setTimer(kTimerFirstCheck + 6, kStepDelayMs);
  probeThread_ = WorkerThread();
  return win::kSOk;
}

void CCorvaneDlg::recheckItem(int n) {
  if (n == 1) {
    page_.reportStateText(1, 1, DescribeWindowsVersion());
    return;
  }
  if (n != 6) return;
  if (config_.connected) {
    CheckNameResolution(config_);
  } else {
    config_.dnsOk = false;
  }
  if (config_.dnsOk && !config_.dnsLineName.empty()) {
    page_.reportStateText(1, 6, config_.dnsLineName);
  } else {
    reportItem(6, config_.dnsOk);
  }
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
    ReportComponent(pageHost_, config_, configFromServer_, groupUnreported_, n);
  }
  ReportUsbKeys(pageHost_, config_);
  page_.reportSummary(config_);
  for (std::int32_t n = 1; n <= count; ++n) {
    if ((config_.items[static_cast<std::size_t>(n) - 1].state & kComponentDisabledFlag) != 0) {
      ReportDisabledComponent(pageHost_, config_, n);
    } else {
      ReportComponent(pageHost_, config_, configFromServer_, groupUnreported_, n);
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
  page_.reportStatus(1000);
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
    page_.reportStatus(2999);
    page_.reportSummary(config_);
  }
}

void CCorvaneDlg::repair(std::int32_t n) {
  switch (n) {
    case 0:
      oneClickSetup();
      break;
    case 2:
      page_.reportStatus(2002);
      CheckRegistry(config_, true);
      reportItem(2, CheckRegistry(config_, false));
      break;
    case 3:
      page_.reportStatus(2003);
      CheckHostsFile(config_, true);
      reportItem(3, CheckHostsFile(config_, false));
      recheckItem(6);
      break;
    case 4:
      page_.reportStatus(2004);
      if (CheckRootCertificates() < 0) InstallRootCertificates();
      config_.rootCertOk = CheckRootCertificates() >= 0;
      reportItem(4, config_.rootCertOk);
      break;
    case 9:
      page_.reportStatus(2009);
      CheckHomepagePolicy(config_, true);
      reportItem(9, CheckHomepagePolicy(config_, false));
      break;
    case 10:
      page_.reportStatus(2010);
      CheckSecurityLevel(config_, true);
      fix(2);
      reportItem(10, CheckSecurityLevel(config_, false));
      break;
    case 11:
      page_.reportStatus(2011);
      CheckTrustedSites(config_, true);
      reportItem(11, CheckTrustedSites(config_, false));
      break;
    case 12:
      page_.reportStatus(2012);
      if (ClearSslState()) promptInfo(prompts_, 141, 0);
      break;
    case 15: {
      const auto count = static_cast<std::int32_t>(config_.items.size());
      for (std::int32_t p = 1; p <= count; ++p) {
        if (static_cast<std::size_t>(p) > config_.items.size()) break;
        if ((config_.items[static_cast<std::size_t>(p) - 1].state & kComponentDisabledFlag) != 0) {
          install(p);
        }
        for (std::int32_t q = 1; q <= static_cast<std::int32_t>(config_.items.size()); ++q) {
          if ((config_.items[static_cast<std::size_t>(q) - 1].state & kComponentDisabledFlag) !=
              0) {
            ReportDisabledComponent(pageHost_, config_, q);
          } else {
            ReportComponent(pageHost_, config_, configFromServer_, groupUnreported_, q);
          }
        }
      }
      break;
    }
    case 16:
      if (ClearBrowserCache()) promptInfo(prompts_, 135, 0);
      break;
    default:
      break;
  }
}

void CCorvaneDlg::oneClickSetup() {
  reportEachFix_ = false;
  const std::array<std::pair<std::int32_t, bool CheckConfig::*>, 6> order{{
      {3, &CheckConfig::hostsOk},
      {4, &CheckConfig::rootCertOk},
      {9, &CheckConfig::homepageOk},
      {10, &CheckConfig::securityLevelOk},
      {2, &CheckConfig::registryOk},
      {11, &CheckConfig::trustedSitesOk},
  }};
  for (const auto& [item, flag] : order) {
    if (!(config_.*flag)) fix(item);
  }
  fix(15);
  ClearBrowserCache();
  ClearSslState();
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
