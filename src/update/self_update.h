#pragma once

// Self-update and the site launch.

#include <stop_token>
#include <string>
#include <string_view>

#include "config/check_config.h"
#include "ui/prompts.h"

namespace corvane {

enum class UpdateOutcome {
  kRunChecks,    // no update, or its download failed: the dialog's timer 2
  kUpdateReady,  // a new executable has been downloaded: the dialog's timer 5
};

// The self-update worker: compares the running executable with config.appInfo and downloads
// a newer one. (Stand-in: never an update.)
UpdateOutcome updateThreadProc(const CheckConfig& config, std::stop_token stop);

// Timer 5: asks the user, replaces the executable and starts the new one with "/update".
// True when the new instance started and this one must end. (Stand-in: false.)
bool ApplyUpdate(PromptHost& prompts, const AppInfo& appInfo);

// Starts commandLine with the rights of the logged-on desktop user, not this elevated
// process's (Processes::startAsDesktopUser; no fall-back to an ordinary start on Windows
// Vista and later). True only when a process was started. The browser is not awaited.
bool launchAsDesktopUser(std::string_view commandLine);

// The command line that opens the bank's public site: the expanded browser path
// "%ProgramFiles%\Internet Explorer\iexplore.exe" in double quotes, followed at once, without a
// blank, by the site address. For the 32-bit program on 64-bit Windows %ProgramFiles% names
// the 32-bit program folder, so the 32-bit browser starts.
std::string SiteCommandLine();

}  // namespace corvane
