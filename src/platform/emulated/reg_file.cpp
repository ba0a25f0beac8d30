#include "platform/emulated/reg_file.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "platform/utf.h"
#include "support/hex_number.h"

namespace corvane::emulated {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegMultiSz = 7;
constexpr std::uint32_t kRegQword = 11;

char16_t FoldUnit(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) ||
      (c >= 0x430 && c <= 0x44F)) {
    return static_cast<char16_t>(c - 0x20);
  }
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  return c;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return FoldRegName(a) == FoldRegName(b);
}

std::vector<std::uint8_t> Utf16Bytes(std::u16string_view text) {
  std::vector<std::uint8_t> out;
  out.reserve(text.size() * 2 + 2);
  for (const char16_t unit : text) {
    out.push_back(static_cast<std::uint8_t>(unit & 0xFFU));
    out.push_back(static_cast<std::uint8_t>(unit >> 8U));
  }
  return out;
}

std::u16string Utf16Units(const std::vector<std::uint8_t>& data) {
  std::u16string out(data.size() / 2, u'\0');
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8U));
  }
  return out;
}

bool IsValidUtf8(std::string_view s) { return Utf16ToUtf8(Utf8ToUtf16(s)) == s; }

// Line-by-line reader; keeps the number of the line last read.
class Lines {
 public:
  explicit Lines(std::string_view text) : text_(text) {}

  bool Next(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    const std::size_t end = text_.find('\n', pos_);
    const std::size_t stop = end == std::string_view::npos ? text_.size() : end;
    line = text_.substr(pos_, stop - pos_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos_ = stop + 1;
    ++number_;
    return true;
  }

  [[nodiscard]] std::size_t number() const { return number_; }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  std::size_t number_ = 0;
};

struct ParseError {
  std::string message;
};

class Parser {
 public:
  Parser(std::string_view text, std::string_view rootName) : lines_(text), rootName_(rootName) {
    root_ = std::make_shared<RegNode>();
    root_->name = std::string(rootName);
  }

  RegParseResult Run() {
    RegParseResult result;
    std::optional<ParseError> error = ParseAll();
    if (error) {
      result.errorLine = lines_.number();
      result.error = std::move(error->message);
    } else {
      result.root = root_;
    }
    return result;
  }

 private:
  std::optional<ParseError> ParseAll() {
    std::string_view line;
    bool sawHeader = false;
    while (lines_.Next(line)) {
      if (lines_.number() == 1 && line.starts_with("\xEF\xBB\xBF")) line.remove_prefix(3);
      if (!IsValidUtf8(line)) return ParseError{"the text is not valid UTF-8"};
      line = TrimRight(TrimLeft(line));
      if (line.empty() || line.front() == ';') continue;
      if (!sawHeader) {
        if (line != kHeader) {
          return ParseError{"expected the first line \"" + std::string(kHeader) + "\""};
        }
        sawHeader = true;
        continue;
      }
      std::optional<ParseError> error;
      if (line.front() == '[') {
        error = ParseSection(line);
      } else if (line.front() == '"' || line.front() == '@') {
        error = ParseValue(line);
      } else {
        error = ParseError{"expected a [key] line, a \"name\"=value line or a ; comment"};
      }
      if (error) return error;
    }
    if (!sawHeader) {
      return ParseError{"expected the first line \"" + std::string(kHeader) + "\""};
    }
    return std::nullopt;
  }

  std::optional<ParseError> ParseSection(std::string_view line) {
    if (line.back() != ']') return ParseError{"a [key] line must end with ]"};
    std::string_view path = line.substr(1, line.size() - 2);
    const bool remove = path.starts_with('-');
    if (remove) path.remove_prefix(1);
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
      const std::size_t slash = path.find('\\', start);
      parts.push_back(path.substr(
          start, slash == std::string_view::npos ? std::string_view::npos : slash - start));
      if (slash == std::string_view::npos) break;
      start = slash + 1;
    }
    if (!EqualsIgnoringCase(parts.front(), rootName_)) {
      return ParseError{"the key must lie below " + rootName_ + " in this file"};
    }
    for (std::size_t i = 1; i < parts.size(); ++i) {
      if (parts[i].empty()) return ParseError{"empty key name (two backslashes in a row?)"};
    }
    if (remove) {
      if (parts.size() == 1) return ParseError{"the root key of a file cannot be deleted"};
      RegNode* parent = root_.get();
      for (std::size_t i = 1; parent != nullptr && i + 1 < parts.size(); ++i) {
        parent = parent->FindSubKey(parts[i]);
      }
      if (parent != nullptr) parent->subkeys.erase(FoldRegName(parts.back()));
      current_ = nullptr;
      return std::nullopt;
    }
    RegNode* node = root_.get();
    for (std::size_t i = 1; i < parts.size(); ++i) {
      auto& slot = node->subkeys[FoldRegName(parts[i])];
      if (!slot) {
        slot = std::make_shared<RegNode>();
        slot->name = std::string(parts[i]);
      }
      node = slot.get();
    }
    current_ = node;
    return std::nullopt;
  }

  // A quoted string at the start of `s` with \\ and \" escapes; `s` is advanced past it.
  static std::optional<ParseError> ParseQuoted(std::string_view& s, std::string& out) {
    out.clear();
    for (std::size_t i = 1; i < s.size(); ++i) {
      const char c = s[i];
      if (c == '"') {
        s.remove_prefix(i + 1);
        return std::nullopt;
      }
      if (c == '\\') {
        if (i + 1 >= s.size()) break;
        const char escaped = s[++i];
        if (escaped != '\\' && escaped != '"') {
          return ParseError{std::string("unknown escape \\") + escaped +
                            " in a quoted string (write \\\\ for a backslash)"};
        }
        out += escaped;
      } else {
        out += c;
      }
    }
    return ParseError{"a quoted string has no closing \""};
  }

  std::optional<ParseError> ParseValue(std::string_view line) {
    if (current_ == nullptr) return ParseError{"a value must follow a [key] line"};
    std::string name;
    if (line.front() == '@') {
      line.remove_prefix(1);
    } else if (auto error = ParseQuoted(line, name)) {
      return error;
    }
    line = TrimLeft(line);
    if (!line.starts_with('=')) return ParseError{"expected = after the value name"};
    line = TrimLeft(line.substr(1));

    RegValue value;
    value.name = name;
    if (line == "-") {
      auto& values = current_->values;
      const std::string folded = FoldRegName(name);
      std::erase_if(values, [&](const RegValue& v) { return FoldRegName(v.name) == folded; });
      return std::nullopt;
    }
    if (line.starts_with('"')) {
      std::string text;
      if (auto error = ParseQuoted(line, text)) return error;
      if (!TrimLeft(line).empty()) return ParseError{"unexpected text after the string"};
      value.type = kRegSz;
      value.data = Utf16Bytes(Utf8ToUtf16(text));
      value.data.push_back(0);
      value.data.push_back(0);
    } else if (line.size() >= 6 && EqualsIgnoringCase(line.substr(0, 6), "dword:")) {
      const auto number = ParseHexNumber(line.substr(6), kRegNumberDigits);
      if (!number) return ParseError{"dword: takes 1 to 8 hexadecimal digits"};
      value.type = kRegDword;
      for (unsigned shift = 0; shift < 32; shift += 8) {
        value.data.push_back(static_cast<std::uint8_t>(*number >> shift));
      }
    } else if (line.size() >= 3 && EqualsIgnoringCase(line.substr(0, 3), "hex")) {
      if (auto error = ParseHex(line.substr(3), value)) return error;
    } else {
      return ParseError{"expected \"text\", dword:, hex:, hex(type): or - after ="};
    }
    Store(std::move(value));
    return std::nullopt;
  }

  // After "hex": "(type):bytes" or ":bytes", bytes possibly continued over lines that end
  // in a backslash.
  std::optional<ParseError> ParseHex(std::string_view rest, RegValue& value) {
    value.type = kRegBinary;
    if (rest.starts_with('(')) {
      const std::size_t close = rest.find(')');
      if (close == std::string_view::npos) return ParseError{"hex( has no closing )"};
      const auto type = ParseHexNumber(rest.substr(1, close - 1), kRegNumberDigits);
      if (!type) return ParseError{"hex(type) takes 1 to 8 hexadecimal digits"};
      value.type = *type;
      rest.remove_prefix(close + 1);
    }
    if (!rest.starts_with(':')) return ParseError{"expected : after hex or hex(type)"};
    rest.remove_prefix(1);

    std::string bytes(TrimRight(rest));
    while (!bytes.empty() && bytes.back() == '\\') {
      bytes.pop_back();
      std::string_view next;
      if (!lines_.Next(next)) return ParseError{"the file ends inside a continued value"};
      if (!IsValidUtf8(next)) return ParseError{"the text is not valid UTF-8"};
      bytes += TrimRight(TrimLeft(next));
    }
    std::string_view list = bytes;
    if (TrimRight(list).empty()) return std::nullopt;
    for (std::size_t start = 0;;) {
      const std::size_t comma = list.find(',', start);
      const std::string_view token = TrimRight(TrimLeft(list.substr(
          start, comma == std::string_view::npos ? std::string_view::npos : comma - start)));
      const bool last = comma == std::string_view::npos;
      if (token.empty() && last && !value.data.empty()) break;  // trailing comma
      const auto byte = ParseHexNumber(token, kRegByteDigits);
      if (!byte) {
        return ParseError{"hex data must be bytes of two hexadecimal digits separated by commas"};
      }
      value.data.push_back(static_cast<std::uint8_t>(*byte));
      if (last) break;
      start = comma + 1;
    }
    return std::nullopt;
  }

  void Store(RegValue value) {
    if (RegValue* existing = current_->FindValue(value.name)) {
      // A later line for the same name wins; the first spelling of the name stays.
      existing->type = value.type;
      existing->data = std::move(value.data);
    } else {
      current_->values.push_back(std::move(value));
    }
  }

  Lines lines_;
  std::string rootName_;
  std::shared_ptr<RegNode> root_;
  RegNode* current_ = nullptr;
};

// ---- writing ----

void AppendQuoted(std::string& out, std::string_view text) {
  out += '"';
  for (const char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
}

// The text of a REG_SZ that a quoted string gives back byte for byte, if there is one.
std::optional<std::string> PlainString(const std::vector<std::uint8_t>& data) {
  if (data.size() < 2 || data.size() % 2 != 0) return std::nullopt;
  std::u16string units = Utf16Units(data);
  if (units.back() != u'\0') return std::nullopt;
  units.pop_back();
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t c = units[i];
    if (c < 0x20 || c == 0x7F) return std::nullopt;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) {
        return std::nullopt;
      }
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return std::nullopt;
    }
  }
  return Utf16ToUtf8(units);
}

// A readable rendering of string-list and number data that the file can only hold as hex,
// written as a comment above the value.
std::optional<std::string> Explanation(const RegValue& value) {
  if (value.type == kRegExpandSz) {
    if (auto text = PlainString(value.data)) return "as text: \"" + *text + "\"";
  } else if (value.type == kRegMultiSz) {
    std::u16string units = Utf16Units(value.data);
    if (value.data.size() % 2 != 0 || units.size() < 2 || units.back() != u'\0') {
      return std::nullopt;
    }
    std::string shown = "as strings:";
    std::size_t start = 0;
    while (start < units.size() && units[start] != u'\0') {
      const std::size_t end = units.find(u'\0', start);
      std::vector<std::uint8_t> one(value.data.begin() + static_cast<std::ptrdiff_t>(2 * start),
                                    value.data.begin() + static_cast<std::ptrdiff_t>(2 * end + 2));
      const auto text = PlainString(one);
      if (!text) return std::nullopt;
      shown += " \"" + *text + "\"";
      start = end + 1;
    }
    return shown;
  } else if (value.type == kRegQword && value.data.size() == 8) {
    std::uint64_t number = 0;
    for (std::size_t i = 8; i-- > 0;) number = (number << 8U) | value.data[i];
    return "as number: " + std::to_string(number);
  }
  return std::nullopt;
}

void AppendHex(std::string& out, std::size_t lineStart, const std::vector<std::uint8_t>& data) {
  // Lines of at most 80 columns, continued with a backslash, like regedit's exports.
  constexpr std::size_t kWidth = 80;
  static constexpr char kDigits[] = "0123456789abcdef";
  for (std::size_t i = 0; i < data.size(); ++i) {
    out += kDigits[data[i] >> 4U];
    out += kDigits[data[i] & 0xFU];
    if (i + 1 == data.size()) break;
    out += ',';
    if (out.size() - lineStart > kWidth - 5) {
      out += "\\\n  ";
      lineStart = out.size() - 2;
    }
  }
}

void WriteValue(std::string& out, const RegValue& value) {
  if (auto note = Explanation(value)) {
    out += "; ";
    out += value.name.empty() ? std::string("@") : value.name;
    out += " " + *note + "\n";
  }
  const std::size_t lineStart = out.size();
  if (value.name.empty()) {
    out += '@';
  } else {
    AppendQuoted(out, value.name);
  }
  out += '=';
  if (value.type == kRegSz) {
    if (auto text = PlainString(value.data)) {
      AppendQuoted(out, *text);
      out += '\n';
      return;
    }
  }
  if (value.type == kRegDword && value.data.size() == 4) {
    char digits[16];
    const std::uint32_t number = value.data[0] | (value.data[1] << 8U) | (value.data[2] << 16U) |
                                 (static_cast<std::uint32_t>(value.data[3]) << 24U);
    std::snprintf(digits, sizeof digits, "dword:%08x", number);
    out += digits;
    out += '\n';
    return;
  }
  if (value.type == kRegBinary) {
    out += "hex:";
  } else {
    char prefix[24];
    std::snprintf(prefix, sizeof prefix, "hex(%x):", value.type);
    out += prefix;
  }
  AppendHex(out, lineStart, value.data);
  out += '\n';
}

void WriteKey(std::string& out, const RegNode& node, const std::string& path, bool isRoot) {
  if (!node.values.empty() || (node.subkeys.empty() && !isRoot)) {
    out += "\n[" + path + "]\n";
    for (const RegValue& value : node.values) WriteValue(out, value);
  }
  for (const auto& [folded, child] : node.subkeys) {
    WriteKey(out, *child, path + "\\" + child->name, false);
  }
}

}  // namespace

RegValue* RegNode::FindValue(std::string_view valueName) {
  const std::string folded = FoldRegName(valueName);
  for (RegValue& value : values) {
    if (FoldRegName(value.name) == folded) return &value;
  }
  return nullptr;
}

const RegValue* RegNode::FindValue(std::string_view valueName) const {
  return const_cast<RegNode*>(this)->FindValue(valueName);
}

RegNode* RegNode::FindSubKey(std::string_view keyName) const {
  const auto it = subkeys.find(FoldRegName(keyName));
  return it == subkeys.end() ? nullptr : it->second.get();
}

std::string FoldRegName(std::string_view name) {
  bool ascii = true;
  for (const char c : name) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) {
    std::string out(name);
    for (char& c : out) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 0x20);
    }
    return out;
  }
  std::u16string wide = Utf8ToUtf16(name);
  for (char16_t& c : wide) c = FoldUnit(c);
  return Utf16ToUtf8(wide);
}

bool SameRegTree(const RegNode& a, const RegNode& b) {
  if (a.name != b.name || a.values != b.values || a.subkeys.size() != b.subkeys.size()) {
    return false;
  }
  return std::equal(a.subkeys.begin(), a.subkeys.end(), b.subkeys.begin(),
                    [](const auto& x, const auto& y) {
                      return x.first == y.first && SameRegTree(*x.second, *y.second);
                    });
}

RegParseResult ParseRegFile(std::string_view text, std::string_view rootName) {
  return Parser(text, rootName).Run();
}

std::string WriteRegFile(const RegNode& root, std::string_view comment) {
  std::string out(kHeader);
  out += '\n';
  for (std::size_t start = 0; start < comment.size();) {
    const std::size_t end = std::min(comment.find('\n', start), comment.size());
    out += "; ";
    out += comment.substr(start, end - start);
    out += '\n';
    start = end + 1;
  }
  WriteKey(out, root, root.name, true);
  return out;
}

}  // namespace corvane::emulated
