#include "checks/hosts_matcher.h"

#include <algorithm>
#include <cstring>

namespace corvane {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// White space as the C locale has it (the line break never occurs inside a line).
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n';
}

// Address text: white space, digits and dots.
bool IsAddressChar(char c) { return IsSpace(c) || (c >= '0' && c <= '9') || c == '.'; }

std::size_t LeadingAddressText(std::string_view line) {
  std::size_t n = 0;
  while (n < line.size() && IsAddressChar(line[n])) ++n;
  return n;
}

}  // namespace

// For one line: whether the rest of the line from an offset is white space up to the end
// or up to a comment, "#" and at least one more character, none of them CR. Worked out for
// the whole line at the first question, so a line costs its length once.
class HostsLineTail {
 public:
  explicit HostsLineTail(std::vector<bool>& marks) : marks_(marks) {}

  void reset(std::string_view line) {
    line_ = line;
    ready_ = false;
  }

  bool at(std::size_t offset) {
    if (!ready_) fill();
    return marks_[offset];
  }

 private:
  void fill() {
    const std::size_t n = line_.size();
    marks_.assign(n + 1, false);
    marks_[n] = true;
    bool crAfter = false;
    for (std::size_t i = n; i-- > 0;) {
      const char c = line_[i];
      if (IsSpace(c)) {
        marks_[i] = marks_[i + 1];
      } else if (c == '#') {
        marks_[i] = i + 1 < n && !crAfter;
      }
      if (c == '\r') crAfter = true;
    }
    ready_ = true;
  }

  std::vector<bool>& marks_;
  std::string_view line_;
  bool ready_ = false;
};

namespace {

// Walks the lines of a hosts file: LF ends a line, and a CR right before it belongs to the
// line break. A final line without a line break is a line too.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}

  bool next(std::string_view& line) {
    if (at_ >= text_.size()) return false;
    const void* found = std::memchr(text_.data() + at_, '\n', text_.size() - at_);
    if (found == nullptr) {
      line = text_.substr(at_);
      at_ = text_.size();
      return true;
    }
    const auto end = static_cast<std::size_t>(static_cast<const char*>(found) - text_.data());
    line = text_.substr(at_, end - at_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    at_ = end + 1;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

// What the lines read so far leave for the next one: whether they end in address text that
// holds a line break before the last one, which lets a name at the start of the next line
// count. The text reads as if one line break stood before its first line, unless it starts
// with a line break itself (an empty first line).
class LeadState {
 public:
  [[nodiscard]] bool ok() const { return ok_; }

  // `lead`: the line's leading address text, as LeadingAddressText gives it.
  void add(std::string_view line, std::size_t lead) {
    const bool addressOnly = lead == line.size();
    ok_ = started_ ? addressOnly : (!line.empty() && addressOnly);
    started_ = true;
  }

 private:
  bool started_ = false;
  bool ok_ = false;
};

bool AnyMatches(std::span<const HostNamePattern> names, std::string_view line, std::size_t lead,
                bool leadOk, HostsLineTail& tail) {
  tail.reset(line);
  return std::any_of(names.begin(), names.end(), [&](const HostNamePattern& name) {
    return name.matchesLine(line, lead, leadOk, tail);
  });
}

}  // namespace

HostNamePattern::HostNamePattern(std::string_view name)
    : lowered_(name), usable_(!name.empty() && name.find('\n') == std::string_view::npos) {
  std::transform(lowered_.begin(), lowered_.end(), lowered_.begin(), Lower);
  const auto pin =
      std::find_if(lowered_.begin(), lowered_.end(), [](char c) { return !IsAddressChar(c); });
  if (pin != lowered_.end()) anchor_ = static_cast<std::size_t>(pin - lowered_.begin());
  failure_.assign(lowered_.size(), 0);
  for (std::size_t i = 1, k = 0; i < lowered_.size(); ++i) {
    while (k > 0 && lowered_[i] != lowered_[k]) k = failure_[k - 1];
    if (lowered_[i] == lowered_[k]) ++k;
    failure_[i] = k;
  }
}

bool HostNamePattern::matchesLine(std::string_view line, std::size_t lead, bool leadOk,
                                  HostsLineTail& tail) const {
  const std::size_t m = lowered_.size();
  if (!usable_ || m > line.size()) return false;
  // The name must start inside the leading address text or right after it, and after at
  // least one character of it unless the lines before supply it.
  const std::size_t first = leadOk ? 0 : 1;
  const std::size_t last = std::min(lead, line.size() - m);
  if (first > last) return false;
  if (anchor_ != std::string::npos) {
    // The line's first character that is not address text must be the name's: the name
    // can only start `anchor_` characters before it.
    if (lead < anchor_) return false;
    const std::size_t start = lead - anchor_;
    if (start < first || start > last) return false;
    for (std::size_t i = 0; i < m; ++i) {
      if (Lower(line[start + i]) != lowered_[i]) return false;
    }
    return tail.at(start + m);
  }
  std::size_t k = 0;
  for (std::size_t i = first; i < last + m; ++i) {
    const char c = Lower(line[i]);
    while (k > 0 && lowered_[k] != c) k = failure_[k - 1];
    if (lowered_[k] == c) ++k;
    if (k == m) {
      if (tail.at(i + 1)) return true;
      k = failure_[k - 1];
    }
  }
  return false;
}

bool HostsTextMapsAny(std::string_view text, std::span<const HostNamePattern> names) {
  std::vector<bool> marks;
  HostsLineTail tail(marks);
  LineReader reader(text);
  LeadState lead;
  std::string_view line;
  while (reader.next(line)) {
    const std::size_t address = LeadingAddressText(line);
    if (AnyMatches(names, line, address, lead.ok(), tail)) return true;
    lead.add(line, address);
  }
  return false;
}

HostsRemoval RemoveHostsLines(std::string_view text, std::span<const HostNamePattern> names) {
  HostsRemoval result;
  result.text.reserve(text.size() + text.size() / 16 + 2);
  std::vector<bool> marks;
  HostsLineTail tail(marks);
  LineReader reader(text);
  // Judged against the kept lines only, so the result reads clean as a whole.
  LeadState lead;
  std::string_view line;
  while (reader.next(line)) {
    const std::size_t address = LeadingAddressText(line);
    if (AnyMatches(names, line, address, lead.ok(), tail)) {
      ++result.removed;
      continue;
    }
    lead.add(line, address);
    result.text.append(line).append("\r\n");
  }
  return result;
}

}  // namespace corvane
