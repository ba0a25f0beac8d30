#pragma once

// Finding the lines of a hosts file that send a given host name to an address, and
// removing them.
//
// The text is read the way the hosts check has always read it: CR LF counts as LF, and a
// host name counts as mapped where, on its line, it follows at least one character of
// address text (blanks, tabs and other white space, digits, dots) and is followed by
// optional white space and then the line's end or a "#" comment of at least one character
// (none of them CR). The address text may start on earlier lines: a name at the very start
// of a line also counts when the lines right before it hold nothing but address text and
// line breaks (an empty line, or a line "127.0.0.1" above the name). The name is compared
// byte for byte, ASCII letters without regard to case; every character of it is literal.
//
// Time is linear in the text's size and the names' lengths; no recursion; any bytes are
// accepted. Memory beyond the output is one bit per byte of the longest line.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// The end of one line as HostNamePattern::matchesLine asks about it (hosts_matcher.cpp).
class HostsLineTail;

// One host name, prepared for searching.
class HostNamePattern {
 public:
  // An empty name, or one holding a line break, never matches a line.
  explicit HostNamePattern(std::string_view name);

  [[nodiscard]] const std::string& lowered() const { return lowered_; }
  // Whether `line` (without its line break) maps the name. `leadOk`: the text before the
  // line ends in address text that holds a line break before the line's own, so a name at
  // offset 0 counts. `lead`: how many characters the line starts with that are address
  // text. `tail` answers for the same line.
  [[nodiscard]] bool matchesLine(std::string_view line, std::size_t lead, bool leadOk,
                                 HostsLineTail& tail) const;

 private:
  std::string lowered_;
  std::vector<std::size_t> failure_;  // prefix function of lowered_
  // Offset of the name's first character that is not address text; npos when it has none.
  // Such a character pins the name's only possible place on a line.
  std::size_t anchor_ = std::string::npos;
  bool usable_ = false;
};

// The result of removing mapping lines.
struct HostsRemoval {
  std::string text;         // the kept lines, each ended by CR LF
  std::size_t removed = 0;  // lines taken out
};

// Whether any line of `text` maps any of the names.
[[nodiscard]] bool HostsTextMapsAny(std::string_view text, std::span<const HostNamePattern> names);

// Every line that maps one of the names is taken out; every other line of the file is kept
// as it was, with CR LF after it (a line without a final line break gets one). Nothing the
// result holds maps any of the names, as HostsTextMapsAny reads it.
[[nodiscard]] HostsRemoval RemoveHostsLines(std::string_view text,
                                            std::span<const HostNamePattern> names);

}  // namespace corvane
