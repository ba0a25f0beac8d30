// The emulated PC splits a script's arguments with SplitArguments; here it is held against
// the real CommandLineToArgvW.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/command_line.h"
#include "platform/win32/win32_util.h"
// After <windows.h>, which it needs.
#include <shellapi.h>

namespace corvane {
namespace {

std::vector<std::string> RealSplit(const std::string& arguments) {
  const std::wstring line = win32::Wide("program.exe " + arguments);
  int count = 0;
  LPWSTR* argv = ::CommandLineToArgvW(line.c_str(), &count);
  std::vector<std::string> out;
  for (int i = 1; argv != nullptr && i < count; ++i) out.push_back(win32::Narrow(argv[i]));
  ::LocalFree(static_cast<HLOCAL>(argv));
  return out;
}

TEST(CommandLineWin32Test, SplitArgumentsMatchesCommandLineToArgvW) {
  const std::string cases[] = {
      "",
      "/s /verysilent",
      R"("C:\Program Files\x.ocx" next)",
      R"(a\\b c\d)",
      R"("a\\" b)",
      R"(a\"b)",
      R"(a\\\"b)",
      R"("" x)",
      R"("a""b" c)",
      R"("a"""b" c)",
      R"(""""""" x)",
      R"(ab"c d"e f)",
      "\"trailing open",
      "tab\tseparated  \t args",
  };
  for (const std::string& c : cases) {
    EXPECT_EQ(SplitArguments(c), RealSplit(c)) << c;
  }
}

}  // namespace
}  // namespace corvane
