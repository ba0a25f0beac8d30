#include "platform/command_line.h"

namespace corvane {
namespace {

constexpr bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<ProgramToken> ProgramTokens(std::string_view commandLine) {
  std::size_t start = 0;
  while (start < commandLine.size() && IsBlank(commandLine[start])) ++start;
  const std::string_view line = commandLine.substr(start);
  if (line.empty()) return {};

  if (line.front() == '"') {
    const std::size_t close = line.find('"', 1);
    if (close == std::string_view::npos) return {{std::string(line.substr(1)), {}}};
    return {{std::string(line.substr(1, close - 1)), line.substr(close + 1)}};
  }

  std::vector<ProgramToken> tokens;
  for (std::size_t i = 0; i <= line.size(); ++i) {
    if (i < line.size() && !IsBlank(line[i])) continue;
    if (i > 0 && !IsBlank(line[i - 1])) {
      tokens.push_back({std::string(line.substr(0, i)), line.substr(i)});
    }
  }
  return tokens;
}

std::vector<std::string> SplitArguments(std::string_view arguments) {
  std::vector<std::string> out;
  std::size_t i = 0;
  const std::size_t n = arguments.size();
  for (;;) {
    while (i < n && IsBlank(arguments[i])) ++i;
    if (i >= n) break;
    std::string current;
    int quotes = 0;  // odd while inside quotes
    std::size_t backslashes = 0;
    while (i < n && !(IsBlank(arguments[i]) && quotes == 0)) {
      const char c = arguments[i];
      if (c == '\\') {
        current.push_back(c);
        ++backslashes;
        ++i;
        continue;
      }
      if (c != '"') {
        current.push_back(c);
        backslashes = 0;
        ++i;
        continue;
      }
      if (backslashes % 2 == 0) {
        current.resize(current.size() - (backslashes / 2));
        ++quotes;
      } else {
        current.resize(current.size() - (backslashes / 2) - 1);
        current.push_back('"');
      }
      ++i;
      backslashes = 0;
      // Runs of quotes: every third one (counting the quoting state) is a literal quote.
      while (i < n && arguments[i] == '"') {
        if (++quotes == 3) {
          current.push_back('"');
          quotes = 0;
        }
        ++i;
      }
      if (quotes == 2) quotes = 0;
    }
    out.push_back(std::move(current));
  }
  return out;
}

}  // namespace corvane
