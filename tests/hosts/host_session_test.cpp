#include "hosts/common/host_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace corvane::hosts {
namespace {

// Virtual time: jumps to the next due timer. Stops when quit, when nothing is armed or at
// `limitMs`, so a run that never ends shows up as a test failure, not a hang.
class VirtualLoop final : public EventLoop {
 public:
  std::uint64_t limitMs = 60000;
  bool quitCalled = false;

  void setTimerHandler(TimerHandler handler) override { handler_ = std::move(handler); }
  void setTimer(int id, std::uint32_t ms) override { due_[id] = now_ + ms; }
  void killTimer(int id) override { due_.erase(id); }
  void post(std::function<void()> task) override { task(); }
  void run() override {
    while (!quitCalled && !due_.empty()) {
      auto next = due_.begin();
      for (auto it = due_.begin(); it != due_.end(); ++it) {
        if (it->second < next->second) next = it;
      }
      if (next->second > limitMs) return;
      now_ = next->second;
      const int id = next->first;
      due_.erase(next);
      handler_(id);
    }
  }
  void quit() override { quitCalled = true; }
  [[nodiscard]] bool empty() const override { return due_.empty(); }
  [[nodiscard]] std::uint64_t nowMs() const override { return now_; }

 private:
  TimerHandler handler_;
  std::map<int, std::uint64_t> due_;
  std::uint64_t now_ = 0;
};

// Busy for a while after start-up and after every command, reporting as it goes.
class FakeDialog final : public HostedDialog, public PageCommands {
 public:
  FakeDialog(EventLoop& loop, PageHost& page, PromptHost& prompts)
      : loop_(loop), page_(page), prompts_(prompts) {}

  std::vector<std::string> log;
  bool closed = false;
  std::uint32_t busyMs = 300;

  void OnInitDialog() override { busy("init"); }
  void OnDocumentComplete() override {
    page_.callScript("setState", {1, 1, std::string("Windows 7 \"SP1\"")});
  }
  void OnTimer(int id) override {
    log.push_back("timer " + std::to_string(id) + " @" + std::to_string(loop_.nowMs()));
    armed_ = false;
    page_.callScript("setState", {0, 2, 1999});
  }
  [[nodiscard]] bool isIdle() const override { return !armed_; }
  void close() override { closed = true; }
  PageCommands& commands() override { return *this; }

  void install(std::int32_t n) override { busy("install " + std::to_string(n)); }
  void installcom(std::int32_t g) override { busy("installcom " + std::to_string(g)); }
  void installmulti(std::int32_t a, std::int32_t b) override {
    busy("installmulti " + std::to_string(a) + "," + std::to_string(b));
  }
  void fix(std::int32_t n) override {
    log.push_back("fix " + std::to_string(n) + " @" + std::to_string(loop_.nowMs()));
    log.push_back("prompt " + std::to_string(promptInfo(prompts_, 135, 0)));
  }
  void check(std::int32_t n) override { busy("check " + std::to_string(n)); }
  void installandfix() override { busy("installandfix"); }
  void stop(std::int32_t n) override { log.push_back("stop " + std::to_string(n)); }
  void openSite() override { log.push_back("openSite"); }

 private:
  void busy(const std::string& what) {
    log.push_back(what + " @" + std::to_string(loop_.nowMs()));
    loop_.setTimer(8, busyMs);
    armed_ = true;
  }

  EventLoop& loop_;
  PageHost& page_;
  PromptHost& prompts_;
  bool armed_ = false;
};

HostOptions WithCommands(std::vector<const char*> commands, bool exitWhenIdle = true) {
  HostOptions options;
  for (const char* text : commands) options.commands.push_back(*ParseHostCommand(text));
  options.exitWhenIdle = exitWhenIdle;
  return options;
}

TEST(HostSessionTest, CommandsRunInOrderEachOnceTheDialogHasSettled) {
  VirtualLoop loop;
  std::ostringstream transcript;
  HostSession session(loop, WithCommands({"check(1)", "stop(1)", "installmulti(2,4)", "onOpen"}),
                      &transcript);
  FakeDialog dialog(loop, session, session);
  session.run(dialog);

  // Idle is seen on the host's 50 ms poll (due together with the dialog's timer, it comes
  // second); a command that leaves the dialog idle lets the next one run on the next poll.
  const std::vector<std::string> expected = {
      "init @0", "timer 8 @300",          "check 1 @300", "timer 8 @600",
      "stop 1",  "installmulti 2,4 @650", "timer 8 @950", "openSite"};
  EXPECT_EQ(dialog.log, expected);
  EXPECT_TRUE(loop.quitCalled);
  EXPECT_TRUE(dialog.closed);
  EXPECT_EQ(transcript.str(),
            "{\"t\":0,\"call\":\"setState\",\"args\":[1,1,\"Windows 7 \\\"SP1\\\"\"]}\n"
            "{\"t\":300,\"call\":\"setState\",\"args\":[0,2,1999]}\n"
            "{\"t\":300,\"external\":\"check\",\"args\":[1]}\n"
            "{\"t\":600,\"call\":\"setState\",\"args\":[0,2,1999]}\n"
            "{\"t\":600,\"external\":\"stop\",\"args\":[1]}\n"
            "{\"t\":650,\"external\":\"installmulti\",\"args\":[2,4]}\n"
            "{\"t\":950,\"call\":\"setState\",\"args\":[0,2,1999]}\n"
            "{\"t\":950,\"external\":\"onOpen\",\"args\":[]}\n");
}

// A host whose page loads on its own (the window's browser control): the --do commands are
// the page's clicks, so none runs before the page has loaded, however idle the dialog is.
TEST(HostSessionTest, CommandsWaitForAPageThatLoadsOnItsOwn) {
  VirtualLoop loop;
  std::ostringstream transcript;
  HostSession session(loop, WithCommands({"stop(1)", "check(2)"}), &transcript);
  FakeDialog dialog(loop, session, session);
  session.drive(dialog);
  dialog.OnInitDialog();
  loop.run();  // the dialog's start-up timer, then nothing is due
  EXPECT_EQ(dialog.log, (std::vector<std::string>{"init @0", "timer 8 @300"}));
  EXPECT_FALSE(loop.quitCalled);
  EXPECT_EQ(transcript.str().find("\"external\""), std::string::npos) << transcript.str();

  dialog.OnDocumentComplete();
  session.pageLoaded();
  loop.run();
  EXPECT_EQ(dialog.log, (std::vector<std::string>{"init @0", "timer 8 @300", "stop 1",
                                                  "check 2 @400", "timer 8 @700"}));
  EXPECT_TRUE(loop.quitCalled);
  EXPECT_NE(transcript.str().find("{\"t\":350,\"external\":\"stop\",\"args\":[1]}"),
            std::string::npos)
      << transcript.str();
}

// The page's own clicks are recorded and run as --do commands are, test hook included.
TEST(HostSessionTest, ThePagesClicksAreRecordedAndRun) {
  VirtualLoop loop;
  std::ostringstream transcript;
  HostOptions options = WithCommands({});
  options.answer = AnswerMode::kRefuse;
  options.promptIn = HostCommand::Kind::kFix;
  HostSession session(loop, options, &transcript);
  FakeDialog dialog(loop, session, session);
  SessionCommands clicks(session, dialog);
  clicks.installmulti(2, 4);
  clicks.fix(3);  // refused by the hook: recorded, not run
  clicks.openSite();
  EXPECT_EQ(dialog.log, (std::vector<std::string>{"installmulti 2,4 @0", "openSite"}));
  EXPECT_EQ(transcript.str(),
            "{\"t\":0,\"external\":\"installmulti\",\"args\":[2,4]}\n"
            "{\"t\":0,\"external\":\"fix\",\"args\":[3]}\n"
            "{\"t\":0,\"prompt\":\"choice\",\"ids\":[145,146,147],\"answer\":7}\n"
            "{\"t\":0,\"external\":\"onOpen\",\"args\":[]}\n");
}

TEST(HostSessionTest, PageShowsTheSystemsCallsAndItsOwnReadyProgress) {
  VirtualLoop loop;
  int redraws = 0;
  HostSession session(loop, WithCommands({}), nullptr, [&](const PageModel&) { ++redraws; });
  FakeDialog dialog(loop, session, session);
  session.run(dialog);
  EXPECT_EQ(session.page().check(1).text, "Windows 7");
  EXPECT_EQ(session.page().status(), "检测完毕");
  EXPECT_EQ(session.page().progress(), 1);
  EXPECT_GE(redraws, 2);
  EXPECT_EQ(session.callScript("noSuchFunction", {}), win::kEFail);
}

TEST(HostSessionTest, WithoutExitWhenIdleTheRunGoesOn) {
  VirtualLoop loop;
  loop.limitMs = 5000;
  HostSession session(loop, WithCommands({"stop(1)"}, false), nullptr);
  FakeDialog dialog(loop, session, session);
  session.run(dialog);
  EXPECT_FALSE(loop.quitCalled);
  EXPECT_EQ(dialog.log.back(), "stop 1");
}

TEST(HostSessionTest, PromptsAreAnsweredAndRecorded) {
  struct Case {
    AnswerMode mode;
    bool useAsker;
    int choiceAnswer;
  };
  const Case cases[] = {
      {AnswerMode::kConsent, false, kIdYes},
      {AnswerMode::kRefuse, false, kIdNo},
      {AnswerMode::kConsent, true, 42},  // a user at the terminal decides
  };
  for (const Case& c : cases) {
    VirtualLoop loop;
    std::ostringstream transcript;
    HostOptions options = WithCommands({"fix(16)"});
    options.answer = c.mode;
    PromptAsker asker;
    if (c.useAsker) asker = [](const Prompt& p) { return p.choice ? 42 : 1; };
    HostSession session(loop, options, &transcript, {}, asker);
    FakeDialog dialog(loop, session, session);
    session.run(dialog);
    Prompt choice;
    choice.choice = true;
    choice.stringIds = {145, 146, 147};
    EXPECT_EQ(session.show(choice), c.choiceAnswer);
    EXPECT_EQ(dialog.log.back(), "prompt 1");  // a message is closed with OK
    const std::string text = transcript.str();
    EXPECT_NE(text.find("{\"t\":300,\"prompt\":\"info\",\"ids\":[135,0],\"answer\":1}"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\"prompt\":\"choice\",\"ids\":[145,146,147],\"answer\":" +
                        std::to_string(c.choiceAnswer) + "}"),
              std::string::npos)
        << text;
  }
}

TEST(HostSessionTest, TheTestHookAsksBeforeItsCommandAndRunsItOnlyOnConsent) {
  for (const AnswerMode mode : {AnswerMode::kConsent, AnswerMode::kRefuse}) {
    VirtualLoop loop;
    std::ostringstream transcript;
    HostOptions options = WithCommands({"stop(1)", "install(2)"});
    options.answer = mode;
    options.promptIn = HostCommand::Kind::kInstall;
    HostSession session(loop, options, &transcript);
    FakeDialog dialog(loop, session, session);
    session.run(dialog);
    const bool ran = std::any_of(dialog.log.begin(), dialog.log.end(),
                                 [](const std::string& e) { return e.rfind("install 2", 0) == 0; });
    EXPECT_EQ(ran, mode == AnswerMode::kConsent);
    const std::string text = transcript.str();
    // Only the named command asks, after it is recorded.
    const std::size_t command = text.find("\"external\":\"install\"");
    const std::size_t prompt = text.find("\"prompt\":\"choice\",\"ids\":[145,146,147]");
    ASSERT_NE(command, std::string::npos) << text;
    EXPECT_GT(prompt, command) << text;
    EXPECT_EQ(text.find("\"prompt\"", prompt + 1), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace corvane::hosts
