#pragma once

// A host's page model and prompts, and the modal run of the dialog: the page "loads"
// at once, --do commands run whenever the dialog has settled, and the run can end on idle.

#include <functional>
#include <mutex>
#include <ostream>
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
  // The asker takes one question at a time itself, so a question on the dialog thread can be
  // asked while a worker's waits for the dialog thread to read its answer. Set before run().
  void setAskerSerialises() { askerSerialises_ = true; }

 private:
  void settle(HostedDialog& dialog);

  EventLoop& loop_;
  HostOptions options_;
  Transcript transcript_;
  PageView view_;
  PromptAsker asker_;
  std::mutex promptMutex_;  // one question at a time, whichever thread asks
  PageModel page_;
  std::function<void()> tick_;
  bool askerSerialises_ = false;
  std::size_t nextCommand_ = 0;
};

}  // namespace corvane::hosts
