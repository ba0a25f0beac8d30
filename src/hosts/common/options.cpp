#include "hosts/common/options.h"

#include <array>
#include <charconv>
#include <filesystem>
#include <system_error>

namespace corvane::hosts {
namespace {

struct CommandShape {
  std::string_view name;
  HostCommand::Kind kind;
  std::size_t arity;
};

constexpr std::array<CommandShape, 8> kCommands{{
    {"check", HostCommand::Kind::kCheck, 1},
    {"fix", HostCommand::Kind::kFix, 1},
    {"install", HostCommand::Kind::kInstall, 1},
    {"installcom", HostCommand::Kind::kInstallcom, 1},
    {"installmulti", HostCommand::Kind::kInstallmulti, 2},
    {"installandfix", HostCommand::Kind::kInstallandfix, 0},
    {"stop", HostCommand::Kind::kStop, 1},
    {"onOpen", HostCommand::Kind::kOpen, 0},
}};

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// A 32-bit signed decimal integer, nothing else.
bool ParseInt32(std::string_view text, std::int32_t& value) {
  text = Trim(text);
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}

}  // namespace

std::optional<HostCommand> ParseHostCommand(std::string_view text) {
  text = Trim(text);
  const std::size_t open = text.find('(');
  const std::string_view name = Trim(text.substr(0, open));
  const CommandShape* shape = nullptr;
  for (const CommandShape& candidate : kCommands) {
    if (candidate.name == name) shape = &candidate;
  }
  if (shape == nullptr) return std::nullopt;
  HostCommand command{shape->kind, {}};
  if (open == std::string_view::npos) {
    // Only the click takes no parentheses, as it is no function call on the page.
    if (shape->kind != HostCommand::Kind::kOpen) return std::nullopt;
    return command;
  }
  if (text.back() != ')') return std::nullopt;
  std::string_view inside = text.substr(open + 1, text.size() - open - 2);
  if (!Trim(inside).empty()) {
    while (true) {
      const std::size_t comma = inside.find(',');
      std::int32_t value = 0;
      if (!ParseInt32(inside.substr(0, comma), value)) return std::nullopt;
      command.args.push_back(value);
      if (comma == std::string_view::npos) break;
      inside.remove_prefix(comma + 1);
    }
  }
  if (command.args.size() != shape->arity) return std::nullopt;
  return command;
}

std::string_view CommandName(HostCommand::Kind kind) {
  for (const CommandShape& shape : kCommands) {
    if (shape.kind == kind) return shape.name;
  }
  return {};
}

void RunHostCommand(const HostCommand& command, PageCommands& commands) {
  const auto arg = [&](std::size_t i) { return i < command.args.size() ? command.args[i] : 0; };
  switch (command.kind) {
    case HostCommand::Kind::kCheck:
      commands.check(arg(0));
      break;
    case HostCommand::Kind::kFix:
      commands.fix(arg(0));
      break;
    case HostCommand::Kind::kInstall:
      commands.install(arg(0));
      break;
    case HostCommand::Kind::kInstallcom:
      commands.installcom(arg(0));
      break;
    case HostCommand::Kind::kInstallmulti:
      commands.installmulti(arg(0), arg(1));
      break;
    case HostCommand::Kind::kInstallandfix:
      commands.installandfix();
      break;
    case HostCommand::Kind::kStop:
      commands.stop(arg(0));
      break;
    case HostCommand::Kind::kOpen:
      commands.openSite();
      break;
  }
}

ParsedOptions ParseOptions(const std::vector<std::string>& args) {
  ParsedOptions parsed;
  HostOptions& options = parsed.options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.rfind("--", 0) != 0) continue;  // start-up's business
    const auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) {
        parsed.error = arg + " needs a value";
        return false;
      }
      out = args[++i];
      return true;
    };
    std::string text;
    if (arg == "--machine") {
      if (!value(options.machine)) return parsed;
      if (options.machine.empty()) {
        parsed.error = "--machine needs a folder";
        return parsed;
      }
    } else if (arg == "--ui") {
      if (!value(text)) return parsed;
      if (text == "terminal") {
        options.ui = UiMode::kTerminal;
      } else if (text == "none") {
        options.ui = UiMode::kNone;
      } else if (text == "browser") {
        options.ui = UiMode::kBrowser;
      } else if (text == "window") {
        options.ui = UiMode::kWindow;
      } else {
        parsed.error = "--ui takes terminal, browser, window or none, not '" + text + "'";
        return parsed;
      }
    } else if (arg == "--transcript") {
      if (!value(options.transcript)) return parsed;
      if (options.transcript.empty()) {
        parsed.error = "--transcript needs a file";
        return parsed;
      }
    } else if (arg == "--do") {
      if (!value(text)) return parsed;
      const std::optional<HostCommand> command = ParseHostCommand(text);
      if (!command) {
        parsed.error = "--do: malformed command '" + text +
                       "' (check(n), fix(n), install(n), installcom(n), installmulti(a,b), "
                       "installandfix(), stop(n), onOpen)";
        return parsed;
      }
      options.commands.push_back(*command);
    } else if (arg == "--answer") {
      if (!value(text)) return parsed;
      if (text == "consent") {
        options.answer = AnswerMode::kConsent;
      } else if (text == "refuse") {
        options.answer = AnswerMode::kRefuse;
      } else {
        parsed.error = "--answer takes consent or refuse, not '" + text + "'";
        return parsed;
      }
    } else if (arg == "--prompt-in") {
      if (!value(text)) return parsed;
      for (const CommandShape& shape : kCommands) {
        if (shape.name == text) options.promptIn = shape.kind;
      }
      if (!options.promptIn) {
        parsed.error = "--prompt-in takes a command name (fix, install, ...), not '" + text + "'";
        return parsed;
      }
    } else if (arg == "--exit-when-idle") {
      options.exitWhenIdle = true;
    } else if (arg == "--help") {
      options.help = true;
    } else {
      parsed.error = "unknown option " + arg;
      return parsed;
    }
  }
  return parsed;
}

std::string_view UsageText() {
  return "usage: corvane [/update] [--machine DIR] [--ui terminal|browser|window|none]\n"
         "               [--transcript FILE] [--do CMD]... [--answer consent|refuse] "
         "[--exit-when-idle]\n"
         "               [--prompt-in NAME]\n"
         "  --machine DIR       the emulated PC to run on (default: the per-user machine)\n"
         "  --ui terminal|browser|window|none\n"
         "                      show the page as text (the default on Linux), in a web browser\n"
         "                      through a server on 127.0.0.1, in the program's own window\n"
         "                      (Windows only, the default there), or nothing\n"
         "  --transcript FILE   write every page call, prompt and command as JSON lines\n"
         "  --do CMD            once idle, run a page command: check(1), fix(0), install(3),\n"
         "                      installcom(2), installmulti(2,4), installandfix(), stop(1),\n"
         "                      onOpen; repeatable, each after the previous one has settled\n"
         "  --answer MODE       how prompts are answered without a terminal (default consent)\n"
         "  --exit-when-idle    end once idle and every --do has run\n"
         "  --prompt-in NAME    test hook: the page command NAME (fix, install, ...) first asks\n"
         "                      the download-failed choice and runs only on consent\n";
}

}  // namespace corvane::hosts

namespace corvane::hosts {

std::string QuoteArgument(std::string_view argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string_view::npos) {
    return std::string(argument);
  }
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled, and the quote escaped.
    quoted.append(c == '"' ? (backslashes * 2) + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');  // before the closing quote
  quoted += '"';
  return quoted;
}

std::string RestartArguments(const HostOptions& options) {
  std::vector<std::string> args;
  const auto absolute = [](const std::string& path) {
    std::error_code error;
    const std::filesystem::path full =
        std::filesystem::absolute(std::filesystem::path(path), error);
    return error ? path : full.string();
  };
  if (!options.machine.empty()) {
    args.emplace_back("--machine");
    args.push_back(absolute(options.machine));
  }
  if (options.ui != kDefaultUi) {
    args.emplace_back("--ui");
    switch (options.ui) {
      case UiMode::kTerminal:
        args.emplace_back("terminal");
        break;
      case UiMode::kBrowser:
        args.emplace_back("browser");
        break;
      case UiMode::kWindow:
        args.emplace_back("window");
        break;
      case UiMode::kNone:
        args.emplace_back("none");
        break;
    }
  }
  if (!options.transcript.empty()) {
    args.emplace_back("--transcript");
    args.push_back(absolute(options.transcript));
  }
  for (const HostCommand& command : options.commands) {
    std::string text(CommandName(command.kind));
    if (command.kind != HostCommand::Kind::kOpen) {
      text += '(';
      for (std::size_t i = 0; i < command.args.size(); ++i) {
        if (i > 0) text += ',';
        text += std::to_string(command.args[i]);
      }
      text += ')';
    }
    args.emplace_back("--do");
    args.push_back(std::move(text));
  }
  if (options.answer == AnswerMode::kRefuse) {
    args.emplace_back("--answer");
    args.emplace_back("refuse");
  }
  if (options.promptIn) {
    args.emplace_back("--prompt-in");
    args.emplace_back(CommandName(*options.promptIn));
  }
  if (options.exitWhenIdle) args.emplace_back("--exit-when-idle");
  std::string line;
  for (const std::string& arg : args) {
    if (!line.empty()) line += ' ';
    line += QuoteArgument(arg);
  }
  return line;
}

}  // namespace corvane::hosts
