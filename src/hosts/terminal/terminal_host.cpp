#include "hosts/terminal/terminal_host.h"

#include <iostream>
#include <memory>
#include <string>

#include "app/corvane_dlg.h"
#include "app/event_loop.h"
#include "bank/bank_values.h"
#include "hosts/common/dialog_adapter.h"
#include "hosts/common/host_session.h"
#include "hosts/terminal/console.h"
#include "hosts/terminal/in_place.h"
#include "hosts/terminal/terminal_view.h"

namespace corvane::terminal {
namespace {

using hosts::AnswerMode;
using hosts::PromptAsker;

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

}  // namespace

void RunTerminalHost(const hosts::HostOptions& options, std::ostream* transcript) {
  const bool ui = options.ui == hosts::UiMode::kTerminal;
  const bool interactive = ui && IsTerminal(stdin) && IsTerminal(stdout);
  // A person at a terminal gets the page drawn in place with its buttons on keys; scripts and
  // logs keep the lines below.
  if (interactive && InPlaceBuilt() && RunInPlace(options, transcript)) return;
  TerminalView view(std::cout, ConsoleShowsAnsi());
  std::unique_ptr<EventLoop> loop = MakeEventLoop();
  hosts::HostSession session(
      *loop, options, transcript,
      ui ? hosts::PageView([&view](const PageModel& page) { view.render(page); })
         : hosts::PageView(),
      interactive ? PromptAsker(AskOnTerminal)
      : ui        ? ShowWithAnswer(options.answer)
                  : PromptAsker());
  DialogServices services = DefaultDialogServices();
  services.restartArguments = hosts::RestartArguments(options);
  services.siteOpened = [&session, ui](std::string_view commandLine, bool started) {
    session.recordDesktopStart(commandLine, started);
    // The browser runs on the PC (recorded there on the emulated one); the address is also
    // printed, for the person at the terminal to open.
    if (ui && started) std::cout << "\n登录: " << bank::kPublicSiteUrl << '\n' << std::flush;
  };
  CCorvaneDlg dialog(*loop, session, session, std::move(services));
  hosts::DialogAdapter adapter(dialog);
  session.run(adapter);
}

}  // namespace corvane::terminal
