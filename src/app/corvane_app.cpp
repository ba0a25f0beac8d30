#include "app/corvane_app.h"

#include <chrono>
#include <thread>
#include <utility>

#include "config/config_paths.h"
#include "platform/command_line.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/instance_lock.h"
#include "platform/platform.h"
#include "platform/replacement_file.h"
#include "platform/win_errors.h"

namespace corvane {

void AppHost::sleep(std::uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
  const std::vector<ProgramToken> readings = ProgramTokens(commandLine);
  if (readings.empty()) return {};
  // CommandLineToArgvW reads the program name like CreateProcess's first reading: a quoted
  // token, or everything up to the first blank.
  std::vector<std::string> args{readings.front().program};
  for (std::string& arg : SplitArguments(readings.front().rest)) args.push_back(std::move(arg));
  return args;
}

CCorvaneApp::CCorvaneApp(AppHost& host, std::vector<std::string> args)
    : host_(host), args_(std::move(args)) {}

bool CCorvaneApp::InitInstance() {
  report_ = {};
  // Only the exact, case-sensitive "/update" right after the program name is the hand-over.
  if (args_.size() >= 2 && args_[1] == "/update") finishUpdateHandOver();

  // The hand-over comes first: the instance that started this one may still hold the lock
  // until its executable can be deleted.
  InstanceHold hold;
  const std::uint32_t error = CurrentPlatform().instanceLock().Acquire(kCorvaneInstanceName, hold);
  if (error != win::kErrorSuccess || !hold.held()) {
    report_.lockError = error;
    report_.outcome = error == win::kErrorAlreadyExists ? StartOutcome::kAnotherInstance
                                                        : StartOutcome::kLockFailed;
    return false;
  }

  // Held, the lock says no other instance runs, and this one has started no download yet: a
  // temporary of a download here is one that a killed instance left (one can be large).
  (void)RemoveAbandonedReplacements(CurrentPlatform().files(), DownloadFolder());

  host_.runDialog();
  report_.outcome = StartOutcome::kDialogRan;
  return false;
}

void CCorvaneApp::finishUpdateHandOver() {
  report_.updateHandOver = true;
  FileSystem& files = CurrentPlatform().files();
  const std::string previous = CurrentPlatform().environment().modulePath() + ".old";
  // The previous instance exits right after starting this one; until then its image cannot
  // be deleted, so this loop also waits for it to end.
  while (files.exists(previous) && files.deleteFile(previous) != win::kErrorSuccess) {
    if (report_.waitedMs >= kUpdateWaitLimitMs) {
      report_.previousRemains = true;
      return;
    }
    host_.sleep(kUpdateRetryMs);
    report_.waitedMs += kUpdateRetryMs;
  }
}

}  // namespace corvane
