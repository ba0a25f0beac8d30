#pragma once

// A host's page model and prompts, and the modal run of the dialog: --do commands run
// whenever the dialog has settled after the page has loaded, and the run can end on idle.
// The text hosts' page "loads" at once (run); the window's browser control loads its own
// and says when (drive, then pageLoaded).

#include <cstdint>
#include <functional>
#include <mutex>
#include <ostream>
#include <utility>
#include <vector>

#include "app/event_loop.h"
#include "app/page_host.h"
#include "hosts/common/options.h"
#include "hosts/common/page_model.h"
#include "hosts/common/transcript.h"
#include "ui/prompts.h"

namespace corvane::hosts {

// CCorvaneDlg as the host drives it.
class HostedDialog {
 public:
  HostedDialog() = default;
  HostedDialog(const HostedDialog&) = delete;
  HostedDialog& operator=(const HostedDialog&) = delete;
  HostedDialog(HostedDialog&&) = delete;
  HostedDialog& operator=(HostedDialog&&) = delete;
  virtual ~HostedDialog() = default;

  virtual void OnInitDialog() = 0;
  virtual void OnDocumentComplete() = 0;
  virtual void OnTimer(int id) = 0;
  [[nodiscard]] virtual bool isIdle() const = 0;
  virtual void close() = 0;
  virtual PageCommands& commands() = 0;
};

// Shows the page model; the terminal view or nothing.
using PageView = std::function<void(const PageModel&)>;
// Asks the user; nothing when no terminal can ask.
using PromptAsker = std::function<int(const Prompt&)>;

class HostSession final : public PageHost, public PromptHost {
 public:
  // The host's own timer on the dialog's loop; the dialog's are 1 to 18.
  static constexpr int kSettleTimer = 1000;
  static constexpr std::uint32_t kSettlePollMs = 50;

  HostSession(EventLoop& loop, HostOptions options, std::ostream* transcript, PageView view = {},
              PromptAsker asker = {});

  // Runs the dialog until it is closed: on --exit-when-idle once it is idle and every --do
  // has run, otherwise when the loop is quit from outside.
  void run(HostedDialog& dialog);

  // For a host that runs the loop itself: the loop's timers go to `dialog` (1 to 18) and to
  // the session's poll from here on. `dialog` must outlive the loop's run.
  void drive(HostedDialog& dialog);
  // The page has loaded: the --do commands, which are the page's clicks, and
  // --exit-when-idle start from here. Dialog thread, after drive().
  void pageLoaded();

  // On the dialog thread: writes a page command to the transcript and runs it.
  void runCommand(const HostCommand& command, PageCommands& commands);

  win::HResult callScript(std::string_view name, const std::vector<ScriptArg>& args) override;
  int show(const Prompt& prompt) override;
  // On the dialog thread: writes a start of the browser for the "登录" link to the transcript.
  void recordDesktopStart(std::string_view commandLine, bool started);

  [[nodiscard]] const PageModel& page() const { return page_; }

  // Runs `tick` on the dialog thread at every settle poll (every kSettlePollMs), before the
  // --do commands: a host's own input is read there. Set before run().
  void setTick(std::function<void()> tick) { tick_ = std::move(tick); }
  // The asker takes one question at a time itself, or its questions need not wait for each
  // other (a window's modal dialogs), so a question on the dialog thread can be asked while
  // a worker's waits for the dialog thread to read its answer. Set before run().
  void setAskerSerialises() { askerSerialises_ = true; }

 private:
  void settle();

  EventLoop& loop_;
  HostOptions options_;
  Transcript transcript_;
  PageView view_;
  PromptAsker asker_;
  std::mutex promptMutex_;  // one question at a time, whichever thread asks
  PageModel page_;
  HostedDialog* dialog_ = nullptr;
  std::function<void()> tick_;
  bool askerSerialises_ = false;
  std::size_t nextCommand_ = 0;
};

// The page's own clicks as a host receives them (window.external, the "onOpen" link): each
// is recorded and run as a --do command is, so a transcript holds every command whichever
// way it came.
class SessionCommands final : public PageCommands {
 public:
  SessionCommands(HostSession& session, PageCommands& dialog)
      : session_(session), dialog_(dialog) {}

  void install(std::int32_t n) override { run(HostCommand::Kind::kInstall, {n}); }
  void installcom(std::int32_t group) override { run(HostCommand::Kind::kInstallcom, {group}); }
  void installmulti(std::int32_t first, std::int32_t last) override {
    run(HostCommand::Kind::kInstallmulti, {first, last});
  }
  void fix(std::int32_t n) override { run(HostCommand::Kind::kFix, {n}); }
  void check(std::int32_t n) override { run(HostCommand::Kind::kCheck, {n}); }
  void installandfix() override { run(HostCommand::Kind::kInstallandfix, {}); }
  void stop(std::int32_t n) override { run(HostCommand::Kind::kStop, {n}); }
  void openSite() override { run(HostCommand::Kind::kOpen, {}); }

 private:
  void run(HostCommand::Kind kind, std::vector<std::int32_t> args) {
    session_.runCommand(HostCommand{kind, std::move(args)}, dialog_);
  }

  HostSession& session_;
  PageCommands& dialog_;
};

}  // namespace corvane::hosts
