#include "hosts/common/options.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/command_line.h"

namespace corvane::hosts {
namespace {

using Kind = HostCommand::Kind;

TEST(HostCommandTest, ParsesEveryCommandShape) {
  struct Case {
    const char* text;
    HostCommand command;
  };
  const Case cases[] = {
      {"check(1)", {Kind::kCheck, {1}}},
      {"fix(0)", {Kind::kFix, {0}}},
      {"install(3)", {Kind::kInstall, {3}}},
      {"installcom(2)", {Kind::kInstallcom, {2}}},
      {"installmulti(2,4)", {Kind::kInstallmulti, {2, 4}}},
      {" installmulti( 2 , 4 ) ", {Kind::kInstallmulti, {2, 4}}},
      {"installandfix()", {Kind::kInstallandfix, {}}},
      {"stop(1)", {Kind::kStop, {1}}},
      {"onOpen", {Kind::kOpen, {}}},
      {"onOpen()", {Kind::kOpen, {}}},
      {"fix(-1)", {Kind::kFix, {-1}}},
      {"check(2147483647)", {Kind::kCheck, {2147483647}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<HostCommand> command = ParseHostCommand(c.text);
    ASSERT_TRUE(command.has_value());
    EXPECT_EQ(*command, c.command);
  }
}

TEST(HostCommandTest, RejectsMalformedCommands) {
  const char* const bad[] = {
      "",
      "check",
      "check()",
      "check(1,2)",
      "installmulti(2)",
      "fix(0",
      "fix 0",
      "fix(a)",
      "fix(1.5)",
      "fix(0x10)",
      "fix(,)",
      "installmulti(1,)",
      "installandfix(1)",
      "Fix(0)",
      "openSite",
      "check(2147483648)",
      "check(1))",
      "check(1)x",
      "onopen",
  };
  for (const char* text : bad) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(ParseHostCommand(text).has_value());
  }
}

class CommandRecorder final : public PageCommands {
 public:
  std::vector<std::string> calls;
  void install(std::int32_t n) override { calls.push_back("install " + std::to_string(n)); }
  void installcom(std::int32_t g) override { calls.push_back("installcom " + std::to_string(g)); }
  void installmulti(std::int32_t a, std::int32_t b) override {
    calls.push_back("installmulti " + std::to_string(a) + " " + std::to_string(b));
  }
  void fix(std::int32_t n) override { calls.push_back("fix " + std::to_string(n)); }
  void check(std::int32_t n) override { calls.push_back("check " + std::to_string(n)); }
  void installandfix() override { calls.push_back("installandfix"); }
  void stop(std::int32_t n) override { calls.push_back("stop " + std::to_string(n)); }
  void openSite() override { calls.push_back("openSite"); }
};

TEST(HostCommandTest, RunsTheMatchingPageCommand) {
  CommandRecorder recorder;
  for (const char* text : {"check(1)", "fix(16)", "install(0)", "installcom(4)",
                           "installmulti(2,4)", "installandfix()", "stop(1)", "onOpen"}) {
    RunHostCommand(*ParseHostCommand(text), recorder);
  }
  const std::vector<std::string> expected = {"check 1",      "fix 16",           "install 0",
                                             "installcom 4", "installmulti 2 4", "installandfix",
                                             "stop 1",       "openSite"};
  EXPECT_EQ(recorder.calls, expected);
}

TEST(ParseOptionsTest, GoodCommandLines) {
  const ParsedOptions parsed =
      ParseOptions({"/update", "--machine", "/tmp/pc", "--ui", "none", "--transcript", "t.jsonl",
                    "--do", "check(1)", "--do", "fix(0)", "--answer", "refuse", "--exit-when-idle",
                    "--prompt-in", "installmulti"});
  ASSERT_EQ(parsed.error, "");
  const HostOptions& o = parsed.options;
  EXPECT_EQ(o.machine, "/tmp/pc");
  EXPECT_EQ(o.ui, UiMode::kNone);
  EXPECT_EQ(o.transcript, "t.jsonl");
  EXPECT_EQ(o.commands, (std::vector<HostCommand>{{Kind::kCheck, {1}}, {Kind::kFix, {0}}}));
  EXPECT_EQ(o.answer, AnswerMode::kRefuse);
  EXPECT_TRUE(o.exitWhenIdle);
  EXPECT_EQ(o.promptIn, Kind::kInstallmulti);

  const ParsedOptions defaults = ParseOptions({});
  ASSERT_EQ(defaults.error, "");
  EXPECT_EQ(defaults.options.ui, kDefaultUi);
  EXPECT_EQ(defaults.options.answer, AnswerMode::kConsent);
  EXPECT_FALSE(defaults.options.exitWhenIdle);
  EXPECT_TRUE(defaults.options.commands.empty());
  EXPECT_FALSE(defaults.options.promptIn);

  // Arguments that are no options are start-up's, which ignores all but "/update".
  EXPECT_EQ(ParseOptions({"/Update", "x", "--ui", "terminal"}).error, "");
  EXPECT_EQ(ParseOptions({"--ui", "browser"}).options.ui, UiMode::kBrowser);
  EXPECT_EQ(ParseOptions({"--ui", "window"}).options.ui, UiMode::kWindow);
}

TEST(ParseOptionsTest, BadCommandLinesSayWhatIsWrong) {
  struct Case {
    std::vector<std::string> args;
    const char* says;
  };
  const Case cases[] = {
      {{"--colour"}, "unknown option --colour"},
      {{"--ui"}, "--ui needs a value"},
      {{"--ui", "web"}, "--ui takes terminal, browser, window or none"},
      {{"--answer", "yes"}, "--answer takes consent or refuse"},
      {{"--do", "fix"}, "malformed command 'fix'"},
      {{"--do", "check(1)", "--do", "reboot()"}, "malformed command 'reboot()'"},
      {{"--machine"}, "--machine needs a value"},
      {{"--machine", ""}, "--machine needs a folder"},
      {{"--transcript", ""}, "--transcript needs a file"},
      {{"--prompt-in", "fix(0)"}, "--prompt-in takes a command name"},
      {{"--prompt-in"}, "--prompt-in needs a value"},
      {{"--exit-when-idle", "--ui", "none", "--update"}, "unknown option --update"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.says);
    const ParsedOptions parsed = ParseOptions(c.args);
    EXPECT_NE(parsed.error.find(c.says), std::string::npos) << parsed.error;
  }
}

// A restart after a self-update passes the host's options on a Windows command line: they
// must come back whole, whatever the paths hold.
TEST(RestartArgumentsTest, TheOptionsComeBackWholeThroughACommandLine) {
  EXPECT_EQ(RestartArguments(HostOptions{}), "");
  const std::string odd = (std::filesystem::temp_directory_path() / "a b\"c d").string();
  HostOptions options;
  options.machine = odd;
  options.ui = UiMode::kNone;
  options.transcript = odd + ".jsonl";
  options.commands = {{Kind::kInstallmulti, {2, 4}}, {Kind::kOpen, {}}, {Kind::kFix, {-1}}};
  options.answer = AnswerMode::kRefuse;
  options.promptIn = Kind::kInstall;
  options.exitWhenIdle = true;

  const ParsedOptions parsed = ParseOptions(SplitArguments(RestartArguments(options)));
  ASSERT_EQ(parsed.error, "");
  EXPECT_EQ(parsed.options.machine, odd);
  EXPECT_EQ(parsed.options.ui, UiMode::kNone);
  EXPECT_EQ(parsed.options.transcript, odd + ".jsonl");
  EXPECT_EQ(parsed.options.commands, options.commands);
  EXPECT_EQ(parsed.options.answer, AnswerMode::kRefuse);
  EXPECT_EQ(parsed.options.promptIn, Kind::kInstall);
  EXPECT_TRUE(parsed.options.exitWhenIdle);

  // Every host comes back as itself, the platform's default one included.
  for (const UiMode ui : {UiMode::kTerminal, UiMode::kBrowser, UiMode::kWindow, UiMode::kNone}) {
    HostOptions one;
    one.ui = ui;
    EXPECT_EQ(ParseOptions(SplitArguments(RestartArguments(one))).options.ui, ui);
  }

  for (const std::string arg : {"", "plain", "a b", R"(x\)", R"("q")", R"(\\"\)", "tab\there"}) {
    EXPECT_EQ(SplitArguments(QuoteArgument(arg)), std::vector<std::string>{arg}) << arg;
  }
}

}  // namespace
}  // namespace corvane::hosts
