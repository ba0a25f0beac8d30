#pragma once

// One queued download and run of the installer worker, and the two halves of running it.

#include <atomic>
#include <cstdint>
#include <stop_token>
#include <string>
#include <vector>

#include "config/check_config.h"

namespace corvane {

struct InstallTask {
  std::int32_t position = 0;  // 0-based position in config.items
  std::string url;
  std::string downloadPath;
  std::string runPath;       // what "%1" stands for; empty for file tasks
  std::string command;       // the installer's command template; empty for file tasks
  std::string action;        // the file's `install` attribute; empty for installer tasks
  std::string registerPath;  // the file to register; empty for installer tasks
};

// The tasks that install entry `entry` at 0-based `position`. (Stand-in: none.)
std::vector<InstallTask> InstallTasksFor(const CheckItem& entry, std::int32_t position);

// Downloads the task's file, writing the percentage to `percent`; false when it failed or
// `stop` was requested. (Stand-in: fails.)
bool DownloadInstallTask(const InstallTask& task, std::atomic<std::int32_t>& percent,
                         std::stop_token stop);

enum class InstallRun {
  kNothingRun,     // a file that is only downloaded
  kStarted,        // the installer or the registration ran
  kFailedToStart,  // it could not be started
};
// Runs the downloaded task and waits for it. (Stand-in: cannot start anything.)
InstallRun RunInstallTask(const InstallTask& task, std::stop_token stop);

}  // namespace corvane
