#pragma once

// Self-update and the site launch.

#include <stop_token>
#include <string>
#include <string_view>

#include "ui/prompts.h"
#include "config/check_config.h"

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

// Starts the e-banking site in Internet Explorer with the desktop user's rights.
// (Stand-in: starts nothing and returns false.)
bool launchAsDesktopUser(std::string_view commandLine);
// The command line of the site: the quoted browser path followed by the site address.
// (Stand-in: empty.)
std::string SiteCommandLine();

}  // namespace corvane
