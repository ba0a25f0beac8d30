#include "hosts/common/transcript.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace corvane::hosts {
namespace {

TEST(JsonStringTest, EscapesWhatJsonRequires) {
  struct Case {
    std::string text;
    const char* json;
  };
  const Case cases[] = {
      {"", R"("")"},
      {"Windows 7", R"("Windows 7")"},
      {"a\"b\\c", R"("a\"b\\c")"},
      {"line\nnext\r\ttab", R"("line\nnext\r\ttab")"},
      {std::string("nul\0x", 5), R"("nul\u0000x")"},
      {"\x01\x1f\x7f", R"("\u0001\u001f\u007f")"},
      {"/path/ok", R"("/path/ok")"},
      {"正常 😀", "\"正常 😀\""},
      // Not UTF-8: stray continuation, truncated sequence, overlong form, surrogate.
      {"a\x80z", R"("a\ufffdz")"},
      {"\xe6\xad", R"("\ufffd\ufffd")"},
      {"\xc0\xaf", R"("\ufffd\ufffd")"},
      {"\xed\xa0\x80", R"("\ufffd\ufffd\ufffd")"},
      {"\xf4\x90\x80\x80", R"("\ufffd\ufffd\ufffd\ufffd")"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    EXPECT_EQ(JsonString(c.text), c.json);
  }
}

TEST(TranscriptLineTest, EachKindOfEvent) {
  EXPECT_EQ(CallLine(12, "setState", {0, 2, 1002}),
            R"({"t":12,"call":"setState","args":[0,2,1002]})");
  EXPECT_EQ(CallLine(0, "setState", {1, 1, std::string("Windows \"7\"")}),
            R"({"t":0,"call":"setState","args":[1,1,"Windows \"7\""]})");
  EXPECT_EQ(CallLine(5, "clearState", {800, 2}), R"({"t":5,"call":"clearState","args":[800,2]})");
  EXPECT_EQ(CallLine(7, "setState", {2, 4, -2147483647 - 1}),
            R"({"t":7,"call":"setState","args":[2,4,-2147483648]})");

  Prompt choice;
  choice.choice = true;
  choice.stringIds = {139, 142, 143};
  EXPECT_EQ(PromptLine(40, choice, 6),
            R"({"t":40,"prompt":"choice","ids":[139,142,143],"answer":6})");
  Prompt info;
  info.stringIds = {135, 0};
  EXPECT_EQ(PromptLine(41, info, 1), R"({"t":41,"prompt":"info","ids":[135,0],"answer":1})");
  Prompt platforms;  // the root certificate warning: no string-table ids, named by its title
  platforms.choice = true;
  platforms.title = "安全警告";
  EXPECT_EQ(PromptLine(42, platforms, 7),
            R"({"t":42,"prompt":"choice","ids":[],"title":"安全警告","answer":7})");

  EXPECT_EQ(CommandLine(55, {HostCommand::Kind::kFix, {0}}),
            R"({"t":55,"external":"fix","args":[0]})");
  EXPECT_EQ(CommandLine(56, {HostCommand::Kind::kInstallmulti, {2, 4}}),
            R"({"t":56,"external":"installmulti","args":[2,4]})");
  EXPECT_EQ(CommandLine(57, {HostCommand::Kind::kOpen, {}}),
            R"({"t":57,"external":"onOpen","args":[]})");
}

TEST(TranscriptTest, WritesOneLinePerEventAndNothingWithoutAFile) {
  std::ostringstream out;
  Transcript transcript(&out);
  transcript.write("{\"a\":1}");
  transcript.write("{\"b\":2}");
  EXPECT_EQ(out.str(), "{\"a\":1}\n{\"b\":2}\n");
  Transcript none(nullptr);
  none.write("{}");  // no file: nothing happens
}

}  // namespace
}  // namespace corvane::hosts
