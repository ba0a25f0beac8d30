#include "components/install_task.h"

namespace corvane {

std::vector<InstallTask> InstallTasksFor(const CheckItem& /*entry*/, std::int32_t /*position*/) {
  return {};
}

bool DownloadInstallTask(const InstallTask& /*task*/, std::atomic<std::int32_t>& /*percent*/,
                         std::stop_token /*stop*/) {
  return false;
}

InstallRun RunInstallTask(const InstallTask& /*task*/, std::stop_token /*stop*/) {
  return InstallRun::kFailedToStart;
}

}  // namespace corvane
