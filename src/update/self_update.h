#pragma once

// Self-update and the site launch.

#include <cstdint>
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

// The version an `appinfo` (or a file requirement) asks for, as the two 32-bit halves of a
// fixed file version: up to four numbers separated by ".", each read as atoi reads the text
// after the previous ".", missing ones 0, each cut to 16 bits.
struct RequiredVersion {
  std::uint32_t high = 0;
  std::uint32_t low = 0;
};
RequiredVersion ParseRequiredVersion(std::string_view version);

// The file test the update uses on an executable: the file exists; with a non-empty
// `version` its version resource is there and neither half of its file version is below
// the required half (the halves compare separately, unsigned); with a non-empty `md5` the
// file's digest in lower-case hex equals `md5` exactly (so an upper-case md5 never matches).
bool ExecutableMeets(std::string_view path, std::string_view version, std::string_view md5);

// True when the running executable (the module path) does not meet appInfo's version and
// md5. An appinfo with neither never asks for an update.
bool isUpdateNeeded(const CheckConfig& config);

// The self-update worker: when the running executable is outdated, downloads appInfo.remote
// to appInfo.localPath. The download counts only when the file meets appInfo's version and
// md5 itself, so a wrong or damaged file never replaces the program (and a file that would
// be found outdated again cannot make every start update once more). kUpdateReady when a
// fitting file is there, else kRunChecks. A stop request ends the download as a failure.
UpdateOutcome updateThreadProc(const CheckConfig& config, std::stop_token stop);

// What a replacement of the program came to.
enum class Replacement {
  kReplaced,  // target now holds the checked bytes
  kFailed,    // target is as it was; a move of the checked copy is registered for a restart
  kRefused,   // the bytes copied from source are not the announced program: nothing changed
};

// Puts source (the download, in a folder any program of the user can write) in the place of
// target, the running executable, which Windows does not let anyone delete or overwrite
// while it runs but lets be renamed. source is first copied to target + ".new", beside the
// program, and that copy, not source, is what gets checked and becomes the program: with a
// non-empty version or md5 it must meet them as ExecutableMeets says, or it is deleted and
// the result is kRefused, whatever another program did to source before or during the copy.
// The checked copy then replaces target: by a rename over it when target is not running;
// otherwise target is renamed to target + ".old" and the copy to target, and when that fails
// the old executable is renamed back at once, so the program is never missing (after a crash
// at most between the two renames); the ".old" file is deleted, or registered for deletion at
// the next restart while it still is the running image. Replaced, source is deleted (or at
// the next restart). Not replaced, the checked copy stays and a move of it onto target is
// registered for the next restart; source is never registered, since anyone may change it
// before then.
Replacement ReplaceExecutable(std::string_view target, std::string_view source,
                              std::string_view version, std::string_view md5);
// ReplaceExecutable without checks: true when replaced.
bool replaceExecutable(std::string_view target, std::string_view source);

// `"<executable>" /update`, then a blank and hostArguments when there are any. Not cut at
// any length.
std::string RestartCommandLine(std::string_view executable, std::string_view hostArguments);

// Timer 5: asks the user (139/142/143). On consent replaces the running executable with
// appInfo.localPath, checked against appInfo's version and md5 as it is put in place, and
// starts it with "/update" followed by hostArguments (the host's own options, so the new
// instance runs as this one does). True when the new instance started and this one must end;
// false on refusal, when the file is no longer the announced program (the old one stays and
// the checks run), or when nothing could be started.
bool ApplyUpdate(PromptHost& prompts, const AppInfo& appInfo, std::string_view hostArguments);

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
