#include "hosts/browser/browser_host.h"

#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/corvane_dlg.h"
#include "app/event_loop.h"
#include "bank/bank_values.h"
#include "hosts/browser/browser_server.h"
#include "hosts/browser/launcher.h"
#include "hosts/common/dialog_adapter.h"
#include "hosts/common/host_session.h"

namespace corvane::browser {
namespace {

// The dialog's calls go to the browser's page and, as on the terminal, to the transcript.
class BrowserPage final : public PageHost {
 public:
  BrowserPage(BrowserServer& server, hosts::HostSession& session)
      : server_(server), session_(session) {}
  win::HResult callScript(std::string_view name, const std::vector<ScriptArg>& args) override {
    server_.queueCall(name, args);
    return session_.callScript(name, args);
  }

 private:
  BrowserServer& server_;
  hosts::HostSession& session_;
};

// Whether there is a desktop whose browser can be started; without one the printed URL is all.
bool HasDesktop() {
  const char* x11 = std::getenv("DISPLAY");              // NOLINT(concurrency-mt-unsafe)
  const char* wayland = std::getenv("WAYLAND_DISPLAY");  // NOLINT(concurrency-mt-unsafe)
  return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

}  // namespace

bool BrowserHostBuilt() { return true; }

void RunBrowserHost(const hosts::HostOptions& options, std::ostream* transcript) {
  std::unique_ptr<EventLoop> loop = MakeEventLoop();
  PageCommands* commands = nullptr;
  hosts::HostSession* sessionRef = nullptr;
  // The browser's way to the URL; not needed once the page has come.
  std::optional<PageLauncher> launcher;
  BrowserServer server(
      BrowserServer::Hooks{[&loop](std::function<void()> task) { loop->post(std::move(task)); },
                           [&commands, &sessionRef](const hosts::HostCommand& command) {
                             sessionRef->runCommand(command, *commands);
                           },
                           [&loop] { loop->post([&loop] { loop->quit(); }); },
                           [&loop, &launcher] {
                             loop->post([&launcher] {
                               if (launcher) launcher->remove();
                             });
                           },
                           {}});
  hosts::HostSession session(*loop, options, transcript, hosts::PageView(),
                             [&server](const Prompt& prompt) { return server.ask(prompt); });
  sessionRef = &session;
  BrowserPage page(server, session);
  DialogServices services = DefaultDialogServices();
  services.restartArguments = hosts::RestartArguments(options);
  services.siteOpened = [&session, &server](std::string_view commandLine, bool started) {
    session.recordDesktopStart(commandLine, started);
    // The customer's browser is the one showing the page: the site opens in a new tab of it.
    if (started) server.queueCall(kOpenSiteCall, {std::string(bank::kPublicSiteUrl)});
  };
  CCorvaneDlg dialog(*loop, page, session, std::move(services));
  commands = &dialog;
  hosts::DialogAdapter adapter(dialog);
  if (!server.start()) {
    std::cerr << "corvane: no port on 127.0.0.1 for the page\n";
    return;
  }
  // The secret goes to the browser in a file only the user can read: a command line or an
  // environment is open to every local user in /proc.
  if (HasDesktop()) {
    launcher.emplace(server.url());
    if (launcher->file().empty() || !OpenWithDesktop(launcher->file())) {
      std::cerr << "corvane: the page could not be opened in the desktop's browser\n";
    }
  }
  std::cout << "corvane: the page is at " << server.url() << std::endl;
  session.run(adapter);
}

}  // namespace corvane::browser
