#pragma once

// One queued download and run of the installer worker, and the two halves of running it.

#include <atomic>
#include <cstdint>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "config/check_config.h"

namespace corvane {

struct InstallTask {
  std::int32_t position = 0;  // 0-based position in config.items
  std::string url;
  std::string downloadPath;
  std::string runPath;        // what "%1" stands for; empty for file tasks
  std::string command;        // the installer's command template; empty for file tasks
  std::string action;         // the file's `install` attribute; empty for installer tasks
  std::string registerPath;   // the file to register; empty for installer tasks
  std::string md5;            // the digest the download must have; empty: not checked
  std::string downloadedMd5;  // the digest of what the download wrote (DownloadInstallTask)
};

// The tasks that install `entry` at 0-based `position`: one installer task from its first
// installer only, or, without installers, one file task per file in order (present or not).
// A file without an `install` attribute gives a task with an empty action, which runs as an
// installer with an empty command line and so fails to start.
std::vector<InstallTask> InstallTasksFor(const CheckItem& entry, std::int32_t position);

// Downloads the task's file, writing the percentage to `percent`, and records the digest
// of what it wrote in task.downloadedMd5. False when the download failed, `stop` was
// requested, or the task names an md5 that the received bytes do not have (compared without
// regard to case): such bytes never replace the file at downloadPath, which stays as it was.
bool DownloadInstallTask(InstallTask& task, std::atomic<std::int32_t>& percent,
                         std::stop_token stop);

enum class InstallRun {
  kNothingRun,     // a file that is only downloaded
  kStarted,        // the installer or the registration ran
  kFailedToStart,  // it could not be started
};
// Runs the downloaded task and waits for it (after an installer, 300 ms more), until `stop`
// is requested: then the program is left running. Installer tasks run BuildCommandLine's
// line; file tasks whose action is "regserver" run "regsvr32 /s" on the quoted file; other
// file tasks run nothing.
// The file that is run or registered is pinned first (no other program can change it until
// the run ends) and its digest taken through the pin must be the one the download wrote
// (downloadedMd5, else md5 when only that is known): a file changed since it was verified
// is not run and counts as one that could not be started.
InstallRun RunInstallTask(const InstallTask& task, std::stop_token stop);

// The command line of an installer task: every "%1" of `command` becomes the quoted `path`;
// a "%1" already between double quotes takes those quotes' place, so the path is quoted
// once. Text inserted from the path is not searched again.
std::string BuildCommandLine(std::string_view command, std::string_view path);

}  // namespace corvane
