// corvane: the system with the terminal host, its automation interface. It shows the page
// as text, runs page commands given on the command line and writes a transcript.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/corvane_app.h"
#include "app/corvane_dlg.h"
#include "app/event_loop.h"
#include "hosts/terminal/options.h"
#include "hosts/terminal/terminal_session.h"
#include "hosts/terminal/terminal_view.h"
#include "platform/platform.h"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>

#include "platform/utf.h"
#else
#include <unistd.h>

#include "platform/emulated/emulated_platform.h"
#endif
#if defined(CORVANE_BROWSER_HOST)
#include <cstdlib>

#include "hosts/browser/browser_server.h"
#endif

namespace corvane::terminal {
namespace {

bool IsTerminal(std::FILE* stream) {
#if defined(_WIN32)
  return _isatty(_fileno(stream)) != 0;
#else
  return ::isatty(::fileno(stream)) != 0;
#endif
}

class DialogAdapter final : public HostedDialog {
 public:
  explicit DialogAdapter(CCorvaneDlg& dialog) : dialog_(dialog) {}
  void OnInitDialog() override { dialog_.OnInitDialog(); }
  void OnDocumentComplete() override { dialog_.OnDocumentComplete(); }
  void OnTimer(int id) override { dialog_.OnTimer(id); }
  [[nodiscard]] bool isIdle() const override { return dialog_.isIdle(); }
  void close() override { dialog_.close(); }
  PageCommands& commands() override { return dialog_; }

 private:
  CCorvaneDlg& dialog_;
};

// Asks on the terminal: the link's number for a choice, Enter for a message.
int AskOnTerminal(const Prompt& prompt) {
  std::cout << '\n' << PromptText(prompt);
  if (!prompt.choice) {
    std::cout << "(Enter) " << std::flush;
    std::string line;
    std::getline(std::cin, line);
    return kIdOk;
  }
  while (true) {
    std::cout << "> " << std::flush;
    std::string line;
    // No more input: the user cannot answer, which is no consent either.
    if (!std::getline(std::cin, line)) return kIdNo;
    for (const PromptLink& link : prompt.links) {
      if (line == std::to_string(link.id)) return link.id;
    }
  }
}

// Without a terminal to ask on, a prompt is still shown, with the answer --answer gives.
PromptAsker ShowWithAnswer(AnswerMode mode) {
  return [mode](const Prompt& prompt) {
    int answer = kIdOk;
    if (prompt.choice) answer = mode == AnswerMode::kRefuse ? kIdNo : kIdYes;
    std::cout << '\n' << PromptText(prompt) << "(--answer) " << answer << '\n' << std::flush;
    return answer;
  };
}

#if defined(CORVANE_BROWSER_HOST)
// The dialog's calls go to the browser's page and, as on the terminal, to the transcript.
class BrowserPage final : public PageHost {
 public:
  BrowserPage(browser::BrowserServer& server, TerminalSession& session)
      : server_(server), session_(session) {}
  win::HResult callScript(std::string_view name, const std::vector<ScriptArg>& args) override {
    server_.queueCall(name, args);
    return session_.callScript(name, args);
  }

 private:
  browser::BrowserServer& server_;
  TerminalSession& session_;
};

// The desktop's browser when there is a desktop; without one the printed URL is all.
void OpenInDesktopBrowser(const std::string& url) {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((x11 == nullptr || *x11 == '\0') && (wayland == nullptr || *wayland == '\0')) return;
  // The URL is ours: digits, hex and punctuation only, so it needs no quoting beyond this.
  const std::string command = "xdg-open '" + url + "' >/dev/null 2>&1 &";
  (void)std::system(command.c_str());  // NOLINT(cert-env33-c): no shell input from outside
}

void RunInBrowser(const HostOptions& options, std::ostream* transcript) {
  std::unique_ptr<EventLoop> loop = MakeEventLoop();
  PageCommands* commands = nullptr;
  TerminalSession* sessionRef = nullptr;
  browser::BrowserServer server(browser::BrowserServer::Hooks{
      [&loop](std::function<void()> task) { loop->post(std::move(task)); },
      [&commands, &sessionRef](const HostCommand& command) {
        sessionRef->runCommand(command, *commands);
      },
      [&loop] { loop->post([&loop] { loop->quit(); }); }});
  TerminalSession session(*loop, options, transcript, PageView(),
                          [&server](const Prompt& prompt) { return server.ask(prompt); });
  sessionRef = &session;
  BrowserPage page(server, session);
  CCorvaneDlg dialog(*loop, page, session);
  commands = &dialog;
  DialogAdapter adapter(dialog);
  if (!server.start()) {
    std::cerr << "corvane: no port on 127.0.0.1 for the page\n";
    return;
  }
  std::cout << "corvane: the page is at " << server.url() << std::endl;
  OpenInDesktopBrowser(server.url());
  session.run(adapter);
}
#endif

class TerminalApp final : public AppHost {
 public:
  TerminalApp(const HostOptions& options, std::ostream* transcript)
      : options_(options), transcript_(transcript) {}

  void runDialog() override {
#if defined(CORVANE_BROWSER_HOST)
    if (options_.ui == UiMode::kBrowser) {
      RunInBrowser(options_, transcript_);
      return;
    }
#endif
    const bool ui = options_.ui == UiMode::kTerminal;
    const bool interactive = ui && IsTerminal(stdin) && IsTerminal(stdout);
#if defined(_WIN32)
    const bool ansi = false;  // consoles before Windows 10 show escape codes as text
#else
    const bool ansi = IsTerminal(stdout);
#endif
    TerminalView view(std::cout, ansi);
    std::unique_ptr<EventLoop> loop = MakeEventLoop();
    TerminalSession session(
        *loop, options_, transcript_,
        ui ? PageView([&view](const PageModel& page) { view.render(page); }) : PageView(),
        interactive ? PromptAsker(AskOnTerminal)
        : ui        ? ShowWithAnswer(options_.answer)
                    : PromptAsker());
    CCorvaneDlg dialog(*loop, session, session);
    DialogAdapter adapter(dialog);
    session.run(adapter);
  }

 private:
  const HostOptions& options_;
  std::ostream* transcript_;
};

std::vector<std::string> ProgramArguments(int argc, char** argv) {
#if defined(_WIN32)
  (void)argc;
  (void)argv;
  // The wide command line, split as start-up expects it on Windows.
  return SplitCommandLine(Utf16ToUtf8(reinterpret_cast<const char16_t*>(GetCommandLineW())));
#else
  return {argv, argv + argc};
#endif
}

int Main(int argc, char** argv) {
#if defined(_WIN32)
  SetConsoleOutputCP(CP_UTF8);
#endif
  const std::vector<std::string> args = ProgramArguments(argc, argv);
  const ParsedOptions parsed =
      ParseOptions(args.empty() ? args : std::vector<std::string>(args.begin() + 1, args.end()));
  if (!parsed.error.empty()) {
    std::cerr << "corvane: " << parsed.error << '\n' << UsageText();
    return 2;
  }
  const HostOptions& options = parsed.options;
  if (options.help) {
    std::cout << UsageText();
    return 0;
  }

#if !defined(CORVANE_BROWSER_HOST)
  if (options.ui == UiMode::kBrowser) {
    std::cerr << "corvane: this build has no browser host\n";
    return 2;
  }
#endif
#if defined(_WIN32)
  if (!options.machine.empty()) {
    std::cerr << "corvane: --machine names an emulated PC; this build runs on Windows itself\n";
    return 2;
  }
#else
  auto machine = std::make_unique<emulated::EmulatedPlatform>(
      options.machine.empty() ? emulated::MachineFolder::DefaultRoot()
                              : std::filesystem::path(options.machine));
  if (const std::string errors = machine->loadErrors(); !errors.empty()) {
    std::cerr << errors << '\n';
  }
  const ScopedPlatform platform(std::move(machine));
#endif

  std::ofstream transcriptFile;
  if (!options.transcript.empty()) {
    transcriptFile.open(std::filesystem::path(options.transcript),
                        std::ios::binary | std::ios::trunc);
    if (!transcriptFile) {
      std::cerr << "corvane: cannot write the transcript " << options.transcript << '\n';
      return 2;
    }
  }

  TerminalApp host(options, options.transcript.empty() ? nullptr : &transcriptFile);
  CCorvaneApp app(host, args);
  app.InitInstance();
  if (app.report().outcome == StartOutcome::kLockFailed) {
    std::cerr << "corvane: the single-instance lock could not be made (error "
              << app.report().lockError << ")\n";
    return 1;
  }
  return 0;
}

}  // namespace
}  // namespace corvane::terminal

int main(int argc, char** argv) { return corvane::terminal::Main(argc, argv); }
