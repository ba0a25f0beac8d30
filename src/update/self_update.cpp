#include "update/self_update.h"

#include "bank/bank_values.h"
#include "platform/environment.h"
#include "platform/platform.h"
#include "platform/processes.h"

namespace corvane {

UpdateOutcome updateThreadProc(const CheckConfig& /*config*/, std::stop_token /*stop*/) {
  return UpdateOutcome::kRunChecks;
}

bool ApplyUpdate(PromptHost& /*prompts*/, const AppInfo& /*appInfo*/) { return false; }

bool launchAsDesktopUser(std::string_view commandLine) {
  return CurrentPlatform().processes().startAsDesktopUser(commandLine) == 0;
}

std::string SiteCommandLine() {
  std::string line = "\"";
  line +=
      CurrentPlatform().environment().expand(R"(%ProgramFiles%\Internet Explorer\iexplore.exe)");
  line += '"';
  line += bank::kPublicSiteUrl;
  return line;
}

}  // namespace corvane
