#include "update/self_update.h"

#include <array>

#include "bank/bank_values.h"
#include "platform/environment.h"
#include "platform/file_md5.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/processes.h"
#include "platform/run_process.h"
#include "platform/win_errors.h"
#include "support/atoi_value.h"
#include "support/http_fetch.h"

namespace corvane {
namespace {

constexpr int kUpdateContent = 139;
constexpr int kUpdateInstruction = 142;
constexpr int kUpdateLink = 143;

// Deletes path, or, when it cannot go now (a running image), at the next restart.
void DeleteNowOrAtRestart(FileSystem& files, std::string_view path) {
  if (files.deleteFile(path) != win::kErrorSuccess) {
    files.move(path, "", win::kMoveFileDelayUntilReboot);
  }
}

// The rename path for a target that cannot be overwritten (the running image): the checked
// copy `staged` beside it takes its place between two renames, so that a crash leaves the
// program file missing only between them, never for the length of a copy.
bool ReplaceRunningImage(FileSystem& files, std::string_view target, const std::string& staged) {
  const std::string old = std::string(target) + ".old";
  files.deleteFile(old);  // a leftover of an earlier update, if it can go
  if (files.move(target, old, 0) != win::kErrorSuccess) return false;
  if (files.move(staged, target, 0) == win::kErrorSuccess) {
    DeleteNowOrAtRestart(files, old);
    return true;
  }
  // The program must not stay missing until the next restart: put the old one back now.
  if (files.move(old, target, 0) != win::kErrorSuccess) {
    files.deleteFile(target);
    files.move(old, target, 0);
  }
  return false;
}

}  // namespace

RequiredVersion ParseRequiredVersion(std::string_view version) {
  std::array<std::uint32_t, 4> parts{};
  std::string_view rest = version;
  for (std::uint32_t& part : parts) {
    part = static_cast<std::uint16_t>(AtoiValue(rest));
    const std::size_t dot = rest.find('.');
    if (dot == std::string_view::npos) break;
    rest.remove_prefix(dot + 1);
  }
  return RequiredVersion{(parts[0] << 16U) | parts[1], (parts[2] << 16U) | parts[3]};
}

bool ExecutableMeets(std::string_view path, std::string_view version, std::string_view md5) {
  FileSystem& files = CurrentPlatform().files();
  if (!files.exists(path)) return false;
  if (!version.empty()) {
    FixedFileVersion fixed;
    if (files.fixedFileVersion(path, fixed) != win::kErrorSuccess) return false;
    const RequiredVersion required = ParseRequiredVersion(version);
    if (fixed.fileVersionMS < required.high || fixed.fileVersionLS < required.low) return false;
  }
  if (!md5.empty() && FileMd5Hex(files, path) != md5) return false;
  return true;
}

bool isUpdateNeeded(const CheckConfig& config) {
  const AppInfo& app = config.appInfo;
  return !ExecutableMeets(CurrentPlatform().environment().modulePath(), app.version, app.md5);
}

UpdateOutcome updateThreadProc(const CheckConfig& config, std::stop_token stop) {
  if (!isUpdateNeeded(config)) return UpdateOutcome::kRunChecks;
  const AppInfo& app = config.appInfo;
  if (app.remote.empty() || app.localPath.empty()) return UpdateOutcome::kRunChecks;
  {
    HttpFetch fetch;
    // A body other than the announced one never replaces an earlier download.
    if (fetch.FetchToFile(app.remote, app.localPath, nullptr, stop, app.md5) == 0) {
      return UpdateOutcome::kRunChecks;
    }
  }
  // Only the announced executable may replace the program.
  if (!ExecutableMeets(app.localPath, app.version, app.md5)) return UpdateOutcome::kRunChecks;
  return UpdateOutcome::kUpdateReady;
}

Replacement ReplaceExecutable(std::string_view target, std::string_view source,
                              std::string_view version, std::string_view md5) {
  FileSystem& files = CurrentPlatform().files();
  const std::string staged = std::string(target) + ".new";
  files.deleteFile(staged);  // a leftover of an earlier update
  if (files.copy(source, staged, true) != win::kErrorSuccess) {
    files.deleteFile(staged);
    return Replacement::kFailed;
  }
  // The copy beside the program is what is checked and what becomes the program: source may
  // have been swapped since the download was checked, even while it was being copied.
  if ((!version.empty() || !md5.empty()) && !ExecutableMeets(staged, version, md5)) {
    files.deleteFile(staged);
    return Replacement::kRefused;
  }
  const bool replaced =
      !files.exists(target)
          ? files.move(staged, target, 0) == win::kErrorSuccess
          : files.move(staged, target, win::kMoveFileReplaceExisting) == win::kErrorSuccess ||
                ReplaceRunningImage(files, target, staged);
  if (replaced) {
    DeleteNowOrAtRestart(files, source);
    return Replacement::kReplaced;
  }
  // The checked copy stays for the move at the next restart, which must replace the old
  // executable to happen at all.
  files.move(staged, target, win::kMoveFileDelayUntilReboot | win::kMoveFileReplaceExisting);
  return Replacement::kFailed;
}

bool replaceExecutable(std::string_view target, std::string_view source) {
  return ReplaceExecutable(target, source, {}, {}) == Replacement::kReplaced;
}

std::string RestartCommandLine(std::string_view executable, std::string_view hostArguments) {
  std::string line = "\"";
  line += executable;
  line += "\" /update";
  if (!hostArguments.empty()) {
    line += ' ';
    line += hostArguments;
  }
  return line;
}

bool ApplyUpdate(PromptHost& prompts, const AppInfo& appInfo, std::string_view hostArguments) {
  if (promptChoice(prompts, kUpdateContent, kUpdateInstruction, kUpdateLink) == kIdNo) {
    return false;
  }
  const std::string executable = CurrentPlatform().environment().modulePath();
  // A file that is no longer the announced program is never started; otherwise the restart
  // runs whatever the replacement did: with the old executable still in place the new
  // instance simply offers the update again.
  if (ReplaceExecutable(executable, appInfo.localPath, appInfo.version, appInfo.md5) ==
      Replacement::kRefused) {
    return false;
  }
  return runProcess(RestartCommandLine(executable, hostArguments), false);
}

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
