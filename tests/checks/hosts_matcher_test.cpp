// The hosts-file matcher against the regular-expression formulation the check was first
// written with, on chosen lines and on thousands of generated files; and the removal of
// mapping lines.

#include "checks/hosts_matcher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <regex>
#include <string>
#include <vector>

namespace corvane {
namespace {

// The first formulation: CR LF made LF, one LF appended, one put in front unless the text
// starts with one; then a case-insensitive ECMAScript search for
// "\n[\s\d\.]+" + name with its dots escaped + "\s*(\n|#.+\n)". Its backtracking recurses
// per character, so it is only fed small files.
std::string RegexContent(std::string text) {
  text = std::regex_replace(text, std::regex("\r\n"), "\n");
  text += '\n';
  if (text.front() != '\n') text.insert(text.begin(), '\n');
  return text;
}

bool RegexMaps(const std::string& text, const std::string& name) {
  const std::string escaped = std::regex_replace(name, std::regex("\\."), "\\.");
  const std::regex pattern("\n[\\s\\d\\.]+" + escaped + "\\s*(\n|#.+\n)",
                           std::regex::ECMAScript | std::regex::icase);
  return std::regex_search(RegexContent(text), pattern);
}

bool Maps(std::string_view text, std::string_view name) {
  const std::vector<HostNamePattern> names{HostNamePattern(name)};
  return HostsTextMapsAny(text, names);
}

TEST(HostsMatcherTest, AgreesWithTheRegexOnChosenLines) {
  struct Case {
    const char* text;
    bool maps;
  };
  const Case cases[] = {
      {"127.0.0.1 host.example", true},  // first and last line, no final line break
      {"127.0.0.1 host.example\r\n", true},
      {"# c\r\n127.0.0.1 host.example\r\n# d\r\n", true},
      {"  \t127.0.0.1 host.example\n", true},
      {"127.0.0.1     host.example\n", true},
      {"127.0.0.1\thost.example\n", true},
      {"127.0.0.1 host.example   \n", true},
      {"127.0.0.1 host.example # test\n", true},
      {"127.0.0.1 host.example#x\n", true},
      {"127.0.0.1 HOST.Example\n", true},
      {"127.0.0.1 login.host.example\n", false},
      {"127.0.0.1 host.example.other\n", false},
      {"127.0.0.1 host.example other.name\n", false},
      {"#127.0.0.1 host.example\n", false},
      {"::1 host.example\n", false},
      {"127.0.0.1 host.example #\n", false},
      {"127.0.0.1 host.example #\r\n", false},
      {"127.0.0.1 host.example #x\ry\n", false},  // a lone CR ends the comment early
      {"127.0.0.1 hostXexample\n", false},        // the dot is a dot
      {"host.example\n", false},                  // no address text before the name
      {"\nhost.example\n", false},                // the first empty line is the front LF
      {"x\n\nhost.example\n", true},              // an empty line above serves as address text
      {"x\n127.0.0.1\nhost.example\n", true},     // so does an address alone on its line
      {"x\n127.0.0.1 a\nhost.example\n", false},
      {"127.0.0.1 host.example\r\r\n", true},  // the CR left over is white space
      {"", false},
      {"\n\n\n", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << '"' << c.text << '"');
    EXPECT_EQ(RegexMaps(c.text, "host.example"), c.maps);
    EXPECT_EQ(Maps(c.text, "host.example"), c.maps);
  }
}

TEST(HostsMatcherTest, NameIsLiteral) {
  // Other syntax in a configured name is just characters of the name.
  EXPECT_TRUE(Maps("127.0.0.1 a+b.example\n", "a+b.example"));
  EXPECT_FALSE(Maps("127.0.0.1 aab.example\n", "a+b.example"));
  EXPECT_TRUE(Maps("127.0.0.1 h(o)st\n", "h(o)st"));
  EXPECT_FALSE(Maps("127.0.0.1 host\n", "h(o)?st"));
  EXPECT_FALSE(Maps("127.0.0.1 hxst\n", "h.st"));
  EXPECT_TRUE(Maps("127.0.0.1 [x]\n", "[x]"));
  // Names of address characters only are found where they stand alone.
  EXPECT_TRUE(Maps("10.0.0.1 1.2.3.4\n", "1.2.3.4"));
  EXPECT_FALSE(Maps("10.0.0.1 11.2.3.4\n", "1.2.3.4x"));
  // An empty name maps nothing.
  EXPECT_FALSE(Maps("127.0.0.1 \n\n\n", ""));
}

// Random hosts files out of the pieces real ones are made of, and of the pieces that sit
// at the edges of the pattern.
class HostsFileGenerator {
 public:
  explicit HostsFileGenerator(std::uint32_t seed) : random_(seed) {}

  std::string file() {
    std::string text;
    const int lines = pick(0, 12);
    const bool crlf = pick(0, 1) == 1;
    for (int i = 0; i < lines; ++i) {
      text += line();
      const bool last = i + 1 == lines;
      if (last && pick(0, 2) == 0) break;  // no final line break
      text += pick(0, 9) == 0 ? (crlf ? "\n" : "\r\n") : (crlf ? "\r\n" : "\n");
    }
    return text;
  }

 private:
  int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
  template <typename T>
  const T& one(const std::vector<T>& items) {
    return items[static_cast<std::size_t>(pick(0, static_cast<int>(items.size()) - 1))];
  }

  std::string blanks() {
    static const std::vector<std::string> kBlanks = {"", "", " ", "  ", "\t", " \t ", "\r"};
    return one(kBlanks);
  }
  std::string name() {
    static const std::vector<std::string> kNames = {
        "host.example",       "HOST.EXAMPLE",  "Host.Example",  "login.host.example",
        "host.example.other", "hostXexample",  "host.exampl",   "other.name",
        "localhost",          "1host.example", "host.example1", "x"};
    return one(kNames);
  }
  std::string address() {
    static const std::vector<std::string> kAddresses = {
        "127.0.0.1", "0.0.0.0", "10.1.2.3", "::1", "1", ".", "", "fe80::1", "127.0.0.1.", "abc"};
    return one(kAddresses);
  }
  std::string comment() {
    static const std::vector<std::string> kComments = {"#", "# test", "#x", "##", "# a\rb", "#\t"};
    return one(kComments);
  }

  std::string line() {
    switch (pick(0, 7)) {
      case 0:
        return "";
      case 1:
        return blanks().append(comment());
      case 2:
        return blanks().append(address()).append(blanks());
      default: {
        std::string text = blanks();
        text += address();
        text += blanks();
        if (pick(0, 1) == 1) text += ' ';
        text += name();
        if (pick(0, 3) == 0) text.append(" ").append(name());
        text += blanks();
        if (pick(0, 2) == 0) text += comment();
        return text;
      }
    }
  }

  std::mt19937 random_;
};

TEST(HostsMatcherTest, AgreesWithTheRegexOnGeneratedFiles) {
  HostsFileGenerator generator(20261210);
  int mapped = 0;
  for (int i = 0; i < 5000; ++i) {
    const std::string text = generator.file();
    const bool expected = RegexMaps(text, "host.example");
    ASSERT_EQ(Maps(text, "host.example"), expected) << '"' << text << '"';
    mapped += expected ? 1 : 0;
  }
  // Both answers occur often enough for the comparison to mean something.
  EXPECT_GT(mapped, 500);
  EXPECT_LT(mapped, 4500);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (end < text.size() && !line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

TEST(HostsMatcherTest, RemovalLeavesNothingTheRegexFindsAndKeepsTheOtherLines) {
  HostsFileGenerator generator(7);
  const std::vector<HostNamePattern> names{HostNamePattern("host.example"),
                                           HostNamePattern("other.name")};
  for (int i = 0; i < 3000; ++i) {
    const std::string text = generator.file();
    const HostsRemoval removal = RemoveHostsLines(text, names);
    SCOPED_TRACE(testing::Message() << '"' << text << '"');
    ASSERT_FALSE(RegexMaps(removal.text, "host.example"));
    ASSERT_FALSE(RegexMaps(removal.text, "other.name"));
    // The result is the file's lines in order, some left out, each ended by CR LF.
    const std::vector<std::string> before = Lines(text);
    const std::vector<std::string> after = Lines(removal.text);
    ASSERT_EQ(before.size(), after.size() + removal.removed);
    std::size_t next = 0;
    for (const std::string& line : after) {
      while (next < before.size() && before[next] != line) ++next;
      ASSERT_LT(next, before.size()) << "not a line of the file: " << line;
      ++next;
    }
    std::string expectedLineBreaks;
    for (const std::string& line : after) expectedLineBreaks += line + "\r\n";
    ASSERT_EQ(removal.text, expectedLineBreaks);
    // A second run has nothing left to do.
    const HostsRemoval again = RemoveHostsLines(removal.text, names);
    ASSERT_EQ(again.removed, 0U);
    ASSERT_EQ(again.text, removal.text);
  }
}

TEST(HostsMatcherTest, RemovalTakesOnlyTheMappingLines) {
  const std::string text =
      "# Hosts\r\n"
      "127.0.0.1       localhost\r\n"
      "\r\n"
      "127.0.0.1 PerBank.Marrowby.Example\r\n"
      "# the comment below the line stays\r\n"
      "10.0.0.1 intranet\n"
      "0.0.0.0\tcorbank.marrowby.example  # sent away\r\n"
      "127.0.0.1 corbank.marrowby.example.other";
  const std::vector<HostNamePattern> names{HostNamePattern("perbank.marrowby.example"),
                                           HostNamePattern("corbank.marrowby.example")};
  const HostsRemoval removal = RemoveHostsLines(text, names);
  EXPECT_EQ(removal.removed, 2U);
  EXPECT_EQ(removal.text,
            "# Hosts\r\n"
            "127.0.0.1       localhost\r\n"
            "\r\n"
            "# the comment below the line stays\r\n"
            "10.0.0.1 intranet\r\n"
            "127.0.0.1 corbank.marrowby.example.other\r\n");
  // The first formulation's replacement took the empty line above and the comment below
  // with the line.
  const std::string replaced =
      std::regex_replace(RegexContent(text),
                         std::regex("\n[\\s\\d\\.]+perbank\\.marrowby\\.example\\s*(\n|#.+\n)",
                                    std::regex::ECMAScript | std::regex::icase),
                         "\n");
  EXPECT_EQ(replaced.find("the comment below"), std::string::npos);
  EXPECT_EQ(replaced.find("localhost\n\n"), std::string::npos);
}

TEST(HostsMatcherTest, LongInputsTakeLinearTime) {
  // Inputs on which the regular expression recurses once per byte and overflows the stack.
  const std::string digits = std::string(std::size_t{8} * 1024 * 1024, '1') + " host.example\n";
  const std::string blankLines(std::size_t{8} * 1024 * 1024, '\n');
  const std::string spaces =
      "\n" + std::string(std::size_t{8} * 1024 * 1024, ' ') + "host.example #c";
  std::string manyNames = "127.0.0.1";
  for (int i = 0; i < 500000; ++i) manyNames += " host.example";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(Maps(digits, "host.example"));
  EXPECT_FALSE(Maps(blankLines, "host.example"));
  EXPECT_TRUE(Maps(spaces, "host.example"));
  EXPECT_FALSE(Maps(manyNames, "host.example"));
  EXPECT_FALSE(Maps(digits, std::string(100000, '1') + "x"));
  const std::vector<HostNamePattern> names{HostNamePattern("host.example")};
  EXPECT_EQ(RemoveHostsLines(blankLines, names).removed, 0U);
  // Generous for sanitizer builds and Wine; a quadratic walk would take hours.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
}

}  // namespace
}  // namespace corvane
