#include "platform/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvane {
namespace {

TEST(CommandLineTest, ProgramTokensFollowCreateProcess) {
  struct Case {
    std::string line;
    std::vector<std::string> programs;
    std::string firstRest;
  };
  const Case cases[] = {
      {"", {}, ""},
      {"   ", {}, ""},
      {"regsvr32 /s \"C:\\a b\\x.ocx\"",
       {"regsvr32", "regsvr32 /s", "regsvr32 /s \"C:\\a", "regsvr32 /s \"C:\\a b\\x.ocx\""},
       " /s \"C:\\a b\\x.ocx\""},
      {"\"C:\\Program Files\\setup.exe\" /update", {"C:\\Program Files\\setup.exe"}, " /update"},
      {"  \"unterminated", {"unterminated"}, ""},
      {"C:\\Program Files\\a b.exe\tx",
       {"C:\\Program", "C:\\Program Files\\a", "C:\\Program Files\\a b.exe",
        "C:\\Program Files\\a b.exe\tx"},
       " Files\\a b.exe\tx"},
  };
  for (const Case& c : cases) {
    const std::vector<ProgramToken> tokens = ProgramTokens(c.line);
    std::vector<std::string> programs;
    for (const ProgramToken& token : tokens) programs.push_back(token.program);
    EXPECT_EQ(programs, c.programs) << c.line;
    if (!tokens.empty()) {
      EXPECT_EQ(tokens.front().rest, c.firstRest) << c.line;
    }
  }
}

TEST(CommandLineTest, ArgumentsSplitLikeCommandLineToArgvW) {
  struct Case {
    std::string arguments;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"", {}},
      {"  \t ", {}},
      {"/s /verysilent", {"/s", "/verysilent"}},
      {R"("C:\Program Files\x.ocx" next)", {R"(C:\Program Files\x.ocx)", "next"}},
      {R"(a\\b c\d)", {R"(a\\b)", R"(c\d)"}},  // lone backslashes are literal
      {R"("a\\" b)", {R"(a\)", "b"}},          // 2n backslashes + quote
      {R"(a\"b)", {R"(a"b)"}},                 // 2n+1 backslashes + quote
      {R"(a\\\"b)", {R"(a\"b)"}},
      {R"("" x)", {"", "x"}},         // empty quoted argument
      {R"("a""b" c)", {R"(a"b c)"}},  // a doubled quote inside quotes also ends quoting
      {R"("a"""b" c)", {R"(a"b)", "c"}},
      {R"(ab"c d"e f)", {"abc de", "f"}},  // quotes inside an argument
      {"\"trailing open", {"trailing open"}},
      {"\xE5\xAE\x89\xE8\xA3\x85 \"C:\\\xE9\x93\xB6\xE8\xA1\x8C\"",
       {"\xE5\xAE\x89\xE8\xA3\x85", "C:\\\xE9\x93\xB6\xE8\xA1\x8C"}},  // UTF-8 passes through
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SplitArguments(c.arguments), c.expected) << c.arguments;
  }
}

}  // namespace
}  // namespace corvane
