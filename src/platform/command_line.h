#pragma once

// Windows command lines: how CreateProcess finds the program in one and how a program's
// arguments are split from it (CommandLineToArgvW).

#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// One way to read the program name off a command line, with the text that follows it.
struct ProgramToken {
  std::string program;
  std::string_view rest;
};

// The readings CreateProcess tries, in order. A quoted first token is the one reading
// (quotes removed). An unquoted token is cut at each blank in turn, so "C:\Program
// Files\a b.exe x" reads as "C:\Program", then "C:\Program Files\a", then
// "C:\Program Files\a b.exe", then the whole line. Empty for a blank command line.
std::vector<ProgramToken> ProgramTokens(std::string_view commandLine);

// The arguments after the program name, split with the rules of CommandLineToArgvW:
// blanks and tabs separate arguments outside quotes; 2n backslashes before a quote give n
// backslashes and the quote toggles quoting; 2n+1 give n backslashes and a literal quote;
// other backslashes are literal; a quote doubled inside quotes gives a literal quote.
std::vector<std::string> SplitArguments(std::string_view arguments);

}  // namespace corvane
