#include "hosts/common/host_session.h"

#include <utility>

#include "app/root_certificate_prompt.h"

namespace corvane::hosts {

HostSession::HostSession(EventLoop& loop, HostOptions options, std::ostream* transcript,
                         PageView view, PromptAsker asker)
    : loop_(loop),
      options_(std::move(options)),
      transcript_(transcript),
      view_(std::move(view)),
      asker_(std::move(asker)) {}

void HostSession::run(HostedDialog& dialog) {
  // The emulated PC asks before it adds a root certificate; this session answers, as it
  // answers the system's own prompts (Windows asks with its own dialog and ignores this).
  const RootCertificateConfirmationHook rootConfirmation(*this);
  drive(dialog);
  dialog.OnInitDialog();
  // The page is there at once: the browser's completion, then the page's document-ready
  // script, which sets its own progress. Those two calls are the page's, not the system's,
  // so they reach the page but not the transcript.
  dialog.OnDocumentComplete();
  for (const std::int32_t item : {0, 1}) page_.apply("setState", {0, item, 1});
  if (view_) view_(page_);
  pageLoaded();
  loop_.run();
  dialog.close();
}

void HostSession::drive(HostedDialog& dialog) {
  dialog_ = &dialog;
  // Set after the dialog exists, so the host's timer is seen whatever the dialog set.
  loop_.setTimerHandler([this](int id) {
    if (id == kSettleTimer) {
      settle();
    } else {
      dialog_->OnTimer(id);
    }
  });
}

void HostSession::pageLoaded() { loop_.setTimer(kSettleTimer, kSettlePollMs); }

void HostSession::settle() {
  if (tick_) tick_();
  if (dialog_->isIdle()) {
    if (nextCommand_ < options_.commands.size()) {
      runCommand(options_.commands[nextCommand_++], dialog_->commands());
    } else if (options_.exitWhenIdle) {
      loop_.quit();
      return;
    }
  }
  loop_.setTimer(kSettleTimer, kSettlePollMs);
}

void HostSession::runCommand(const HostCommand& command, PageCommands& commands) {
  transcript_.write(CommandLine(loop_.nowMs(), command));
  // The download-failed choice: two links, so either answer can be given.
  if (options_.promptIn == command.kind && promptChoice(*this, 145, 146, 147) == kIdNo) return;
  RunHostCommand(command, commands);
}

win::HResult HostSession::callScript(std::string_view name, const std::vector<ScriptArg>& args) {
  transcript_.write(CallLine(loop_.nowMs(), name, args));
  // As on the page, an unknown function is an error the caller ignores.
  if (name != "setState" && name != "clearState") return win::kEFail;
  if (page_.apply(name, args) && view_) view_(page_);
  return win::kSOk;
}

void HostSession::recordDesktopStart(std::string_view commandLine, bool started) {
  transcript_.write(DesktopStartLine(loop_.nowMs(), commandLine, started));
}

int HostSession::show(const Prompt& prompt) {
  std::unique_lock lock(promptMutex_, std::defer_lock);
  if (!askerSerialises_) lock.lock();
  int answer = kIdOk;
  if (asker_) {
    answer = asker_(prompt);
  } else if (prompt.choice) {
    answer = options_.answer == AnswerMode::kRefuse ? kIdNo : kIdYes;
  }
  transcript_.write(PromptLine(loop_.nowMs(), prompt, answer));
  return answer;
}

}  // namespace corvane::hosts
