#include "platform/emulated/regedit_import.h"

#include <algorithm>
#include <cstdint>

#include "platform/utf.h"
#include "support/hex_number.h"

namespace corvane::emulated {
namespace {

constexpr std::string_view kUnicodeHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kAnsiHeader = "REGEDIT4";
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegMultiSz = 7;

constexpr std::array<std::string_view, 3> kHeldRoots = {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER",
                                                        "HKEY_CLASSES_ROOT"};

struct RootName {
  std::string_view full;
  std::string_view abbreviation;
};
constexpr std::array<RootName, 5> kRootNames = {{{"HKEY_LOCAL_MACHINE", "HKLM"},
                                                 {"HKEY_CURRENT_USER", "HKCU"},
                                                 {"HKEY_CLASSES_ROOT", "HKCR"},
                                                 {"HKEY_USERS", "HKU"},
                                                 {"HKEY_CURRENT_CONFIG", "HKCC"}}};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool StartsWithIgnoringCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && FoldRegName(s.substr(0, prefix.size())) == prefix;
}

bool IsAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool IsValidUtf8(std::string_view s) { return Utf16ToUtf8(Utf8ToUtf16(s)) == s; }

std::vector<std::uint8_t> Utf16Bytes(std::string_view utf8) {
  const std::u16string text = Utf8ToUtf16(utf8);
  std::vector<std::uint8_t> out;
  out.reserve((text.size() * 2) + 2);
  for (const char16_t unit : text) {
    out.push_back(static_cast<std::uint8_t>(unit & 0xFFU));
    out.push_back(static_cast<std::uint8_t>(unit >> 8U));
  }
  return out;
}

struct Failure {
  std::size_t line;
  std::string message;
};

// The file's text in UTF-8 and whether it is a REGEDIT4 (ANSI) file. Line numbers of the
// text are those of the file.
struct Decoded {
  std::string text;
  bool ansi = false;
};

std::optional<Failure> Decode(std::string_view bytes, Decoded& out) {
  if (bytes.starts_with("\xFF\xFE")) {
    bytes.remove_prefix(2);
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
      units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                       (static_cast<unsigned char>(bytes[(2 * i) + 1]) << 8U));
    }
    out.text = Utf16ToUtf8(units);
    if (bytes.size() % 2 != 0) {
      return Failure{
          static_cast<std::size_t>(std::count(out.text.begin(), out.text.end(), '\n')) + 1,
          "the UTF-16 text ends in half a character"};
    }
    return std::nullopt;
  }
  if (bytes.starts_with("\xFE\xFF")) {
    return Failure{1, "big-endian UTF-16 is not a form regedit writes; save the file as UTF-16LE"};
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  out.text = std::string(bytes);
  // Without a byte-order mark the header says which: REGEDIT4 files are ANSI.
  std::size_t start = 0;
  while (start < out.text.size()) {
    const std::size_t end = std::min(out.text.find('\n', start), out.text.size());
    std::string_view line = Trim(std::string_view(out.text).substr(start, end - start));
    if (line.ends_with('\r')) line = Trim(line.substr(0, line.size() - 1));
    if (!line.empty() && !line.starts_with(';')) {
      out.ansi = line == kAnsiHeader;
      break;
    }
    start = end + 1;
  }
  return std::nullopt;
}

class Lines {
 public:
  explicit Lines(std::string_view text) : text_(text) {}

  bool Next(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    const std::size_t stop = std::min(text_.find('\n', pos_), text_.size());
    line = text_.substr(pos_, stop - pos_);
    if (line.ends_with('\r')) line.remove_suffix(1);
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

class Parser {
 public:
  explicit Parser(const Decoded& decoded) : lines_(decoded.text), ansi_(decoded.ansi) {}

  RegImportParse Run() {
    RegImportParse result;
    if (std::optional<std::string> error = ParseAll()) {
      result.errorLine = std::max<std::size_t>(lines_.number(), 1);
      result.error = std::move(*error);
    } else {
      result.operations = std::move(operations_);
    }
    return result;
  }

 private:
  std::optional<std::string> CheckText(std::string_view line) const {
    if (ansi_) {
      if (!IsAscii(line)) {
        return std::string(
            "a REGEDIT4 file is ANSI text of an unknown code page; only ASCII is read from it "
            "(export in the Unicode form instead)");
      }
    } else if (!IsValidUtf8(line)) {
      return std::string("the text is neither UTF-16 with a byte-order mark nor valid UTF-8");
    }
    return std::nullopt;
  }

  std::optional<std::string> ParseAll() {
    std::string_view line;
    bool sawHeader = false;
    while (lines_.Next(line)) {
      if (auto error = CheckText(line)) return error;
      line = Trim(line);
      if (line.empty() || line.front() == ';') continue;
      if (!sawHeader) {
        if (line != kUnicodeHeader && line != kAnsiHeader) {
          return "expected the first line \"" + std::string(kUnicodeHeader) + "\" or \"" +
                 std::string(kAnsiHeader) + "\"";
        }
        sawHeader = true;
        continue;
      }
      std::optional<std::string> error;
      if (line.front() == '[') {
        error = ParseSection(line);
      } else if (line.front() == '"' || line.front() == '@') {
        error = ParseValue(line);
      } else {
        error = "expected a [key] line, a \"name\"=value line or a ; comment";
      }
      if (error) return error;
    }
    if (!sawHeader) return "the file is empty: no \"" + std::string(kUnicodeHeader) + "\" line";
    return std::nullopt;
  }

  std::optional<std::string> ParseSection(std::string_view line) {
    if (line.back() != ']') return "a [key] line must end with ]";
    std::string_view path = line.substr(1, line.size() - 2);
    const bool remove = path.starts_with('-');
    if (remove) path.remove_prefix(1);
    std::vector<std::string> parts;
    for (std::size_t start = 0;;) {
      const std::size_t slash = path.find('\\', start);
      parts.emplace_back(
          path.substr(start, slash == std::string_view::npos ? slash : slash - start));
      if (slash == std::string_view::npos) break;
      start = slash + 1;
    }
    // A trailing backslash names the same key.
    if (parts.size() > 1 && parts.back().empty()) parts.pop_back();
    const std::string root = FoldRegName(parts.front());
    const auto* const known =
        std::find_if(kRootNames.begin(), kRootNames.end(),
                     [&](const RootName& r) { return root == r.full || root == r.abbreviation; });
    if (known == kRootNames.end()) {
      return "the key must start with a root key such as HKEY_LOCAL_MACHINE, not \"" +
             parts.front() + "\"";
    }
    for (std::size_t i = 1; i < parts.size(); ++i) {
      if (parts[i].empty()) return std::string("empty key name (two backslashes in a row?)");
    }
    if (remove && parts.size() == 1) return std::string("a root key cannot be deleted");
    RegImportOperation op;
    op.kind = remove ? RegImportOperation::Kind::kDeleteKey : RegImportOperation::Kind::kCreateKey;
    op.root = std::string(known->full);
    op.path.assign(parts.begin() + 1, parts.end());
    op.line = lines_.number();
    // Values after a deleted key belong to no key: regedit skips them, and so do we.
    current_ = remove ? std::nullopt : std::optional<RegImportOperation>(op);
    operations_.push_back(std::move(op));
    return std::nullopt;
  }

  // A quoted string at the start of `s`; `s` is advanced past it.
  static std::optional<std::string> ParseQuoted(std::string_view& s, std::string& out) {
    out.clear();
    for (std::size_t i = 1; i < s.size(); ++i) {
      const char c = s[i];
      if (c == '"') {
        s.remove_prefix(i + 1);
        return std::nullopt;
      }
      if (c != '\\') {
        out += c;
        continue;
      }
      if (i + 1 >= s.size()) break;
      switch (const char escaped = s[++i]) {
        case '\\':
        case '"':
          out += escaped;
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case '0':
          out += '\0';
          break;
        default:
          return std::string("unknown escape \\") + escaped +
                 " in a quoted string (a backslash is written \\\\)";
      }
    }
    return std::string("a quoted string has no closing \"");
  }

  // What may follow a value on its line: blanks and a ; comment.
  static bool OnlyComment(std::string_view rest) {
    rest = Trim(rest);
    return rest.empty() || rest.front() == ';';
  }

  std::optional<std::string> ParseValue(std::string_view line) {
    if (!current_ && operations_.empty()) return std::string("a value must follow a [key] line");
    RegValue value;
    if (line.front() == '@') {
      line.remove_prefix(1);
    } else if (auto error = ParseQuoted(line, value.name)) {
      return error;
    }
    line = Trim(line);
    if (!line.starts_with('=')) return std::string("expected = after the value name");
    line = Trim(line.substr(1));
    const std::size_t startLine = lines_.number();

    RegImportOperation op;
    if (line.starts_with('-') && OnlyComment(line.substr(1))) {
      op.kind = RegImportOperation::Kind::kDeleteValue;
    } else if (line.starts_with('"')) {
      std::string text;
      if (auto error = ParseQuoted(line, text)) return error;
      if (!OnlyComment(line)) return std::string("unexpected text after the string");
      op.kind = RegImportOperation::Kind::kSetValue;
      value.type = kRegSz;
      value.data = Utf16Bytes(text);
      value.data.push_back(0);
      value.data.push_back(0);
    } else if (StartsWithIgnoringCase(line, "DWORD:")) {
      std::string_view digits = line.substr(6);
      const std::size_t end = std::min(digits.find(';'), digits.size());
      const auto number = ParseHexNumber(Trim(digits.substr(0, end)), kRegNumberDigits);
      if (!number) return std::string("dword: takes 1 to 8 hexadecimal digits");
      op.kind = RegImportOperation::Kind::kSetValue;
      value.type = kRegDword;
      for (unsigned shift = 0; shift < 32; shift += 8) {
        value.data.push_back(static_cast<std::uint8_t>(*number >> shift));
      }
    } else if (StartsWithIgnoringCase(line, "HEX")) {
      op.kind = RegImportOperation::Kind::kSetValue;
      if (auto error = ParseHex(line.substr(3), value)) return error;
    } else {
      return std::string("expected \"text\", dword:, hex:, hex(type): or - after =");
    }
    // A value below a deleted key is dropped, as regedit drops it.
    if (!current_) return std::nullopt;
    op.root = current_->root;
    op.path = current_->path;
    op.value = std::move(value);
    op.line = startLine;
    operations_.push_back(std::move(op));
    return std::nullopt;
  }

  // After "hex": "(type):bytes" or ":bytes", the bytes possibly continued over lines that
  // end in a backslash (comment lines between them are skipped).
  std::optional<std::string> ParseHex(std::string_view rest, RegValue& value) {
    value.type = kRegBinary;
    if (rest.starts_with('(')) {
      const std::size_t close = rest.find(')');
      if (close == std::string_view::npos) return std::string("hex( has no closing )");
      const auto type = ParseHexNumber(rest.substr(1, close - 1), kRegNumberDigits);
      if (!type) return std::string("hex(type) takes 1 to 8 hexadecimal digits");
      value.type = *type;
      rest.remove_prefix(close + 1);
    }
    if (!rest.starts_with(':')) return std::string("expected : after hex or hex(type)");
    rest.remove_prefix(1);

    std::string bytes(Trim(rest));
    while (bytes.ends_with('\\')) {
      bytes.pop_back();
      std::string_view next;
      do {
        if (!lines_.Next(next)) return std::string("the file ends inside a continued value");
        if (auto error = CheckText(next)) return error;
        next = Trim(next);
      } while (next.starts_with(';'));
      bytes += next;
    }
    // A comment may end the last line.
    std::string_view list = bytes;
    list = Trim(list.substr(0, std::min(list.find(';'), list.size())));
    std::vector<std::uint8_t> data;
    for (std::size_t start = 0; start < list.size();) {
      const std::size_t comma = std::min(list.find(',', start), list.size());
      const std::string_view token = Trim(list.substr(start, comma - start));
      const bool last = comma == list.size();
      const auto byte = ParseHexNumber(token, kRegByteDigits);
      if (!byte) {
        return std::string("hex data must be bytes of two hexadecimal digits separated by commas");
      }
      data.push_back(static_cast<std::uint8_t>(*byte));
      if (last) break;
      start = comma + 1;  // a comma at the very end is allowed
    }
    if (ansi_ &&
        (value.type == kRegSz || value.type == kRegExpandSz || value.type == kRegMultiSz)) {
      // REGEDIT4 keeps text values as ANSI bytes; the registry holds UTF-16.
      std::vector<std::uint8_t> wide;
      wide.reserve(data.size() * 2);
      for (const std::uint8_t b : data) {
        if (b >= 0x80) {
          return std::string(
              "a REGEDIT4 file is ANSI text of an unknown code page; only ASCII is read from it "
              "(export in the Unicode form instead)");
        }
        wide.push_back(b);
        wide.push_back(0);
      }
      data = std::move(wide);
    }
    value.data = std::move(data);
    return std::nullopt;
  }

  Lines lines_;
  bool ansi_;
  std::vector<RegImportOperation> operations_;
  std::optional<RegImportOperation> current_;  // the last [key], unless it was a deletion
};

bool HoldableName(std::string_view name) {
  return name.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos;
}

}  // namespace

RegImportParse ParseRegeditExport(std::string_view bytes) {
  Decoded decoded;
  if (std::optional<Failure> failure = Decode(bytes, decoded)) {
    RegImportParse result;
    result.errorLine = failure->line;
    result.error = std::move(failure->message);
    return result;
  }
  return Parser(decoded).Run();
}

std::optional<RegImportError> ApplyRegImport(const std::vector<RegImportOperation>& operations,
                                             const std::array<std::shared_ptr<RegNode>, 3>& hives) {
  const auto hiveOf = [&](const std::string& root) -> RegNode* {
    const auto* const it = std::find(kHeldRoots.begin(), kHeldRoots.end(), root);
    return it == kHeldRoots.end() ? nullptr
                                  : hives[static_cast<std::size_t>(it - kHeldRoots.begin())].get();
  };
  for (const RegImportOperation& op : operations) {
    if (hiveOf(op.root) == nullptr) {
      return RegImportError{op.line,
                            "the emulated PC holds only HKEY_LOCAL_MACHINE, "
                            "HKEY_CURRENT_USER and HKEY_CLASSES_ROOT, not " +
                                op.root};
    }
    const bool namesOk = HoldableName(op.value.name) &&
                         std::all_of(op.path.begin(), op.path.end(),
                                     [](const std::string& p) { return HoldableName(p); });
    if (!namesOk) {
      return RegImportError{op.line, "a key or value name with a line break or NUL in it"};
    }
  }
  for (const RegImportOperation& op : operations) {
    RegNode* node = hiveOf(op.root);
    if (op.kind == RegImportOperation::Kind::kDeleteKey) {
      for (std::size_t i = 0; node != nullptr && i + 1 < op.path.size(); ++i) {
        node = node->FindSubKey(op.path[i]);
      }
      if (node != nullptr) {
        const auto it = node->subkeys.find(FoldRegName(op.path.back()));
        if (it != node->subkeys.end()) {
          it->second->deleted = true;
          node->subkeys.erase(it);
        }
      }
      continue;
    }
    for (const std::string& part : op.path) {
      auto& slot = node->subkeys[FoldRegName(part)];
      if (!slot) {
        slot = std::make_shared<RegNode>();
        slot->name = part;
      }
      node = slot.get();
    }
    if (op.kind == RegImportOperation::Kind::kSetValue) {
      if (RegValue* existing = node->FindValue(op.value.name)) {
        existing->type = op.value.type;
        existing->data = op.value.data;
      } else {
        node->values.push_back(op.value);
      }
    } else if (op.kind == RegImportOperation::Kind::kDeleteValue) {
      const std::string folded = FoldRegName(op.value.name);
      std::erase_if(node->values, [&](const RegValue& v) { return FoldRegName(v.name) == folded; });
    }
  }
  return std::nullopt;
}

}  // namespace corvane::emulated
