#include "components/install_task.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/file_md5.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/run_process.h"
#include "platform/windows_path.h"
#include "support/http_fetch.h"

namespace corvane {
namespace {

// Sleeps `ms`, or less when `stop` is requested.
void Pause(std::chrono::milliseconds ms, const std::stop_token& stop) {
  std::mutex mutex;
  std::condition_variable_any wake;
  std::unique_lock lock(mutex);
  wake.wait_for(lock, stop, ms, [] { return false; });
}

// What every task takes from its installer or file (an InstallerSpec or a FileSpec): where
// to download from and to, and the digest to check.
template <typename Source>
InstallTask DownloadTask(const Source& source, std::int32_t position) {
  InstallTask task;
  task.position = position;
  task.url = source.url;
  task.downloadPath = source.localPath;
  task.md5 = source.md5;
  return task;
}

}  // namespace

std::vector<InstallTask> InstallTasksFor(const CheckItem& entry, std::int32_t position) {
  std::vector<InstallTask> tasks;
  if (!entry.installers.empty()) {
    const InstallerSpec& installer = entry.installers.front();
    InstallTask& task = tasks.emplace_back(DownloadTask(installer, position));
    task.runPath = installer.localPath;
    task.command = installer.command;
    return tasks;
  }
  for (const FileSpec& file : entry.files) {
    InstallTask& task = tasks.emplace_back(DownloadTask(file, position));
    task.action = file.install;
    task.registerPath = file.localPath;
  }
  return tasks;
}

bool DownloadInstallTask(InstallTask& task, std::atomic<std::int32_t>& percent,
                         std::stop_token stop) {
  FileSystem& files = CurrentPlatform().files();
  // The download folder (DownTmp) may not exist yet; if it cannot be made the download fails.
  (void)files.createDirectories(PathParent(task.downloadPath));
  task.downloadedMd5.clear();
  HttpFetch fetch;
  return fetch.FetchToFile(task.url, task.downloadPath, &percent, std::move(stop), task.md5,
                           &task.downloadedMd5) != 0;
}

namespace {

// Pins path and checks that it still holds what was downloaded and verified. Null when it
// cannot be pinned or its bytes are not those any more.
std::unique_ptr<File> PinVerified(const InstallTask& task, std::string_view path) {
  std::unique_ptr<File> pinned;
  if (CurrentPlatform().files().pin(path, pinned) != 0) return nullptr;
  const std::string& expected = task.downloadedMd5.empty() ? task.md5 : task.downloadedMd5;
  if (expected.empty()) return pinned;  // nothing was verified: only kept from changing now
  if (!SameMd5(FileMd5Hex(*pinned), expected)) return nullptr;
  return pinned;
}

}  // namespace

InstallRun RunInstallTask(const InstallTask& task, std::stop_token stop) {
  if (task.action.empty()) {
    const std::unique_ptr<File> pinned = PinVerified(task, task.runPath);
    if (!pinned || !runProcess(BuildCommandLine(task.command, task.runPath), stop)) {
      return InstallRun::kFailedToStart;
    }
    // Give the installer's own follow-up a moment before the components are detected again.
    Pause(std::chrono::milliseconds(300), stop);
    return InstallRun::kStarted;
  }
  if (task.registerPath.empty() || task.action != "regserver") return InstallRun::kNothingRun;
  const std::unique_ptr<File> pinned = PinVerified(task, task.registerPath);
  if (!pinned) return InstallRun::kFailedToStart;
  std::string line = "regsvr32 /s \"";
  line += task.registerPath;
  line += '"';
  return runProcess(line, stop) ? InstallRun::kStarted : InstallRun::kFailedToStart;
}

std::string BuildCommandLine(std::string_view command, std::string_view path) {
  std::string quoted(1, '"');
  quoted += path;
  quoted += '"';
  std::string line;
  for (std::size_t i = 0; i < command.size();) {
    if (command.compare(i, 4, "\"%1\"") == 0) {
      line += quoted;
      i += 4;
    } else if (command.compare(i, 2, "%1") == 0) {
      line += quoted;
      i += 2;
    } else {
      line += command[i++];
    }
  }
  return line;
}

}  // namespace corvane
