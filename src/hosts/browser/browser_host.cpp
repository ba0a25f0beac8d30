#include "hosts/browser/browser_host.h"

#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/corvane_dlg.h"
#include "app/event_loop.h"
#include "bank/bank_values.h"
#include "hosts/browser/browser_server.h"
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

// The desktop's browser when there is a desktop; without one the printed URL is all.
void OpenInDesktopBrowser(const std::string& url) {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((x11 == nullptr || *x11 == '\0') && (wayland == nullptr || *wayland == '\0')) return;
  // The URL is ours: digits, hex and punctuation only, so it needs no quoting beyond this.
  const std::string command = "xdg-open '" + url + "' >/dev/null 2>&1 &";
  (void)std::system(command.c_str());  // NOLINT(cert-env33-c): no shell input from outside
}

}  // namespace

bool BrowserHostBuilt() { return true; }

void RunBrowserHost(const hosts::HostOptions& options, std::ostream* transcript) {
  std::unique_ptr<EventLoop> loop = MakeEventLoop();
  PageCommands* commands = nullptr;
  hosts::HostSession* sessionRef = nullptr;
  BrowserServer server(
      BrowserServer::Hooks{[&loop](std::function<void()> task) { loop->post(std::move(task)); },
                           [&commands, &sessionRef](const hosts::HostCommand& command) {
                             sessionRef->runCommand(command, *commands);
                           },
                           [&loop] { loop->post([&loop] { loop->quit(); }); }});
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
  std::cout << "corvane: the page is at " << server.url() << std::endl;
  OpenInDesktopBrowser(server.url());
  session.run(adapter);
}

}  // namespace corvane::browser
