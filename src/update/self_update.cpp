#include "update/self_update.h"

namespace corvane {

UpdateOutcome updateThreadProc(const CheckConfig& /*config*/, std::stop_token /*stop*/) {
  return UpdateOutcome::kRunChecks;
}

bool ApplyUpdate(PromptHost& /*prompts*/, const AppInfo& /*appInfo*/) { return false; }

bool launchAsDesktopUser(std::string_view /*commandLine*/) { return false; }

std::string SiteCommandLine() { return {}; }

}  // namespace corvane
