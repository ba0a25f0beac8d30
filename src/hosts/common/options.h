#pragma once

// The corvane program's command line, which every host reads: the system's own "/update" plus the
// automation options.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/page_host.h"

namespace corvane::hosts {

// One window.external command or the "onOpen" click, as --do writes it.
struct HostCommand {
  enum class Kind {
    kCheck,
    kFix,
    kInstall,
    kInstallcom,
    kInstallmulti,
    kInstallandfix,
    kStop,
    kOpen
  };
  Kind kind = Kind::kCheck;
  std::vector<std::int32_t> args;

  bool operator==(const HostCommand&) const = default;
};

// "check(1)", "installmulti(2,4)", "installandfix()", "onOpen"; nothing when malformed.
std::optional<HostCommand> ParseHostCommand(std::string_view text);
// The page's name of the command: "fix", "installmulti", ..., "onOpen".
std::string_view CommandName(HostCommand::Kind kind);
// Calls the command on the dialog.
void RunHostCommand(const HostCommand& command, PageCommands& commands);

enum class UiMode { kTerminal, kBrowser, kNone, kWindow };
// The program's own window on Windows; elsewhere the terminal.
#ifdef _WIN32
inline constexpr UiMode kDefaultUi = UiMode::kWindow;
#else
inline constexpr UiMode kDefaultUi = UiMode::kTerminal;
#endif
enum class AnswerMode { kConsent, kRefuse };

struct HostOptions {
  std::string machine;  // empty: the default machine
  UiMode ui = kDefaultUi;
  std::string transcript;  // empty: none
  std::vector<HostCommand> commands;
  AnswerMode answer = AnswerMode::kConsent;
  // Test hook: this page command first asks a choice on the dialog thread and runs only on
  // consent, so the hosts' prompts inside a command can be tried on any machine.
  std::optional<HostCommand::Kind> promptIn;
  bool exitWhenIdle = false;
  bool help = false;
};

struct ParsedOptions {
  HostOptions options;
  std::string error;  // empty when the command line is good
};

// `args` without the program name. Arguments that are not options ("/update" among them)
// are left to start-up, which ignores all but "/update" in first place.
ParsedOptions ParseOptions(const std::vector<std::string>& args);

std::string_view UsageText();

// `options` written back as command-line arguments, each quoted as CommandLineToArgvW reads
// it back, folders and files as absolute paths: what a restart of the program after a
// self-update passes after "/update", so the new instance runs as this one does. Empty
// for the defaults.
std::string RestartArguments(const HostOptions& options);

// One argument quoted for a Windows command line (CommandLineToArgvW's rules).
std::string QuoteArgument(std::string_view argument);

}  // namespace corvane::hosts
