#include "support/xml_document.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#include "support/xml_entities.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace corvane {
namespace {

enum TokenKind : int {
  kEndTag = 0,
  kStartTag = 1,
  kTextToken = 2,
  kWhitespaceToken = 4,
  kCdata = 8,
  kProcessingInstruction = 16,
  kComment = 32,
  kDoctype = 64,
  kErrorToken = -1,
  kEndOfText = -2,
};

struct Token {
  int kind = kEndOfText;
  std::uint32_t start = 0;
  std::uint32_t length = 0;
  std::uint32_t nameStart = 0;
  std::uint32_t nameLength = 0;
  bool empty = false;  // start tag closed by "/>"
};

// Diagnostics only: a report text stops growing once it holds this much.
constexpr std::size_t kReportLimit = 1000;
// A tag name in a report is cut here: names run to the next blank or '>', so a broken
// document could otherwise put megabytes into a single report.
constexpr std::size_t kReportValueLimit = 256;

constexpr bool IsSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

constexpr bool IsNameStart(unsigned char c) {
  return c == ':' || (c >= 'A' && c <= 'Z') || c == '_' || c >= 0x61;
}

constexpr unsigned char ToLowerAscii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// Bytes that end an element's name when it is read back from its start tag.
constexpr std::array<bool, 256> MakeStops(std::string_view bytes) {
  std::array<bool, 256> stops{};
  for (unsigned char c : bytes) stops[c] = true;
  return stops;
}
constexpr std::array<bool, 256> kNameStops = MakeStops(" \t\n\r!\"'/;<=>?\\");

// Offset of the first `a` or `b` in s[i, end), or end. Sixteen or eight bytes at a time:
// text runs and attribute values are most of a document's bytes.
[[gnu::always_inline]] inline std::uint32_t FindEither(const char* s, std::uint32_t i,
                                                       std::uint32_t end, char a, char b) {
#if defined(__SSE2__)
  const __m128i vectorA = _mm_set1_epi8(a);
  const __m128i vectorB = _mm_set1_epi8(b);
  for (; i + 16 <= end; i += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    const int found = _mm_movemask_epi8(
        _mm_or_si128(_mm_cmpeq_epi8(bytes, vectorA), _mm_cmpeq_epi8(bytes, vectorB)));
    if (found != 0)
      return i + static_cast<std::uint32_t>(std::countr_zero(static_cast<unsigned>(found)));
  }
#endif
  if constexpr (std::endian::native == std::endian::little) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
    const std::uint64_t wordA = kOnes * static_cast<unsigned char>(a);
    const std::uint64_t wordB = kOnes * static_cast<unsigned char>(b);
    for (; i + 8 <= end; i += 8) {
      std::uint64_t word = 0;
      std::memcpy(&word, s + i, 8);
      const std::uint64_t xa = word ^ wordA;
      const std::uint64_t xb = word ^ wordB;
      // The lowest flagged byte is the first match; flags above it may be spurious.
      const std::uint64_t found = (((xa - kOnes) & ~xa) | ((xb - kOnes) & ~xb)) & kHighs;
      if (found != 0) return i + static_cast<std::uint32_t>(std::countr_zero(found)) / 8;
    }
  }
  while (i < end && s[i] != a && s[i] != b) ++i;
  return i;
}

constexpr std::array<bool, 256> kSpaces = MakeStops(" \t\n\r");
// Where a tag name and an unquoted value end.
constexpr std::array<bool, 256> kTagNameStops = MakeStops(" \t\n\r/>");
constexpr std::array<bool, 256> kValueStops = MakeStops(" \t\n\r>");

// True when the stored name matches a name argument: the argument starts with exactly
// the stored bytes and ends there or goes on with a separator.
inline bool NameMatches(std::string_view stored, std::string_view argument) {
  if (argument.size() < stored.size()) return false;
  // Names are short: a plain loop beats a call to memcmp.
  for (std::size_t i = 0; i < stored.size(); ++i) {
    if (stored[i] != argument[i]) return false;
  }
  if (argument.size() == stored.size()) return true;
  const char next = argument[stored.size()];
  return next == ' ' || next == '/' || next == '=' || next == '[' || next == ']';
}

std::string_view UpToNul(std::string_view name) { return name.substr(0, name.find('\0')); }

void AppendEscaped(std::string& out, std::string_view value) {
  for (char c : value) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
}

struct ReportAttribute {
  std::string_view name;
  std::string_view text;  // used when number is absent
  std::int64_t number = -1;
};

void AddReport(std::string& out, std::string_view keyword,
               std::initializer_list<ReportAttribute> attributes) {
  if (out.size() >= kReportLimit) return;
  out += '<';
  out += keyword;
  for (const ReportAttribute& attribute : attributes) {
    out += ' ';
    out += attribute.name;
    out += "=\"";
    if (attribute.number >= 0) {
      out += std::to_string(attribute.number);
    } else {
      AppendEscaped(out, attribute.text.substr(0, kReportValueLimit));
    }
    out += '"';
  }
  out += "/>";
}

// Splits the text into tokens. Stateless between calls: a token is determined by its
// start offset alone, so the parse and the element-text reader see the same tokens.
class Tokenizer {
 public:
  Tokenizer(const char* text, std::uint32_t end, std::string& reports)
      : s_(text), end_(end), reports_(reports) {}

  [[gnu::always_inline]] Token Next(std::uint32_t pos) {
    Token token;
    token.start = pos;
    if (pos >= end_) return token;  // end of text
    if (s_[pos] != '<') return CharacterData(pos);
    if (pos + 1 >= end_) return Unterminated(token, "tag");
    const auto c1 = static_cast<unsigned char>(s_[pos + 1]);
    if (IsNameStart(c1)) return Tag(token, kStartTag, pos + 1);
    switch (c1) {
      case '/':
        return Tag(token, kEndTag, pos + 2);
      case '?': {
        token.nameStart = pos + 2;
        token.nameLength = NameLength(pos + 2);
        return Delimited(token, kProcessingInstruction, pos + 2, "?>", "processing_instruction");
      }
      case '!':
        return Exclamation(token);
      default:
        return SyntaxError(token, "first_tag_syntax");
    }
  }

 private:
  [[gnu::always_inline]] Token CharacterData(std::uint32_t pos) const {
    Token token;
    token.start = pos;
    std::uint32_t i = pos;
    while (i < end_ && kSpaces[static_cast<unsigned char>(s_[i])]) ++i;
    if (i >= end_ || s_[i] == '<') {
      token.kind = kWhitespaceToken;
      token.length = i - pos;
      return token;
    }
    // s_[i] made this a text token; a later '>' ends it and belongs to it.
    token.kind = kTextToken;
    i = FindEither(s_, i + 1, end_, '<', '>');
    if (i < end_ && s_[i] == '>') ++i;
    token.length = i - pos;
    return token;
  }

  [[nodiscard]] std::uint32_t NameLength(std::uint32_t from) const {
    std::uint32_t i = from;
    while (i < end_ && !kTagNameStops[static_cast<unsigned char>(s_[i])]) ++i;
    return i - from;
  }

  // Start and end tags: runs to the first '>' outside a quoted attribute value. Written as
  // one scan per state rather than a per-byte state switch: tags are most of a document.
  [[gnu::always_inline]] Token Tag(Token token, int kind, std::uint32_t nameStart) {
    token.nameStart = nameStart;
    token.nameLength = NameLength(nameStart);
    std::uint32_t i = nameStart + token.nameLength;
    bool inUnquotedValue = false;  // when the tag closes
    std::uint32_t valueStart = 0;
    for (;;) {
      // Outside values: up to the next '>' or '='.
      i = FindEither(s_, i, end_, '>', '=');
      if (i >= end_) break;
      if (s_[i] == '>') return Closed(token, kind, i, inUnquotedValue, valueStart);
      // After '=': blanks, then a quoted or an unquoted value. "==" opens none.
      ++i;
      if (i < end_ && (s_[i] == '"' || s_[i] == '\'')) {
        i = FindEither(s_, i + 1, end_, s_[i], s_[i]);
        if (i >= end_) break;
        ++i;
        continue;
      }
      bool opened = false;
      while (i < end_ && !opened) {
        const char c = s_[i];
        if (IsSpace(static_cast<unsigned char>(c))) {
          ++i;
        } else if (c == '=') {
          const bool doubled = s_[i - 1] == '=';
          ++i;
          if (doubled) break;
        } else {
          opened = true;
        }
      }
      if (!opened) continue;
      const char c = s_[i];
      if (c == '>') return Closed(token, kind, i, inUnquotedValue, valueStart);
      if (c == '"' || c == '\'') {
        i = FindEither(s_, i + 1, end_, c, c);
        if (i >= end_) break;
        ++i;
        continue;
      }
      valueStart = i;
      while (i < end_ && !kValueStops[static_cast<unsigned char>(s_[i])]) ++i;
      if (i >= end_) break;
      if (s_[i] == '>') return Closed(token, kind, i, true, valueStart);
    }
    return Unterminated(token, kind == kStartTag ? "start_tag" : "end_tag");
  }

  // A tag closed by the '>' at `close`.
  static Token Closed(Token token, int kind, std::uint32_t close, bool inUnquotedValue,
                      std::uint32_t valueStart, const char* s) {
    token.kind = kind;
    token.length = close + 1 - token.start;
    if (kind == kStartTag && s[close - 1] == '/') {
      // In <a x=y/> the '/' is the last byte of the value, not an empty-element mark.
      const std::uint32_t slash = close - 1;
      const char before = s[slash - 1];
      const bool inValue = inUnquotedValue && slash > valueStart && before != '"' && before != '\'';
      token.empty = !inValue;
    }
    return token;
  }
  Token Closed(Token token, int kind, std::uint32_t close, bool inUnquotedValue,
               std::uint32_t valueStart) const {
    return Closed(token, kind, close, inUnquotedValue, valueStart, s_);
  }

  // Comments, CDATA sections and processing instructions end at their terminator only.
  Token Delimited(Token token, int kind, std::uint32_t from, std::string_view terminator,
                  std::string_view typeName) {
    const std::string_view rest(s_ + from, end_ - from);
    const std::size_t found = rest.find(terminator);
    if (found == std::string_view::npos) return Unterminated(token, typeName);
    token.kind = kind;
    token.length = from + static_cast<std::uint32_t>(found + terminator.size()) - token.start;
    return token;
  }

  Token Exclamation(Token token) {
    const std::uint32_t pos = token.start;
    if (pos + 2 >= end_) return Unterminated(token, "tag");
    switch (s_[pos + 2]) {
      case '-':
        if (pos + 3 >= end_) return Unterminated(token, "tag");
        if (s_[pos + 3] != '-') return SyntaxError(token, "comment_tag_syntax");
        return Delimited(token, kComment, pos + 4, "-->", "comment");
      case '[':
        if (pos + 3 >= end_) return Unterminated(token, "tag");
        if (s_[pos + 3] != 'C') return SyntaxError(token, "cdata_section_syntax");
        return Delimited(token, kCdata, pos + 4, "]]>", "cdata_section");
      case 'D':
        return Doctype(token);
      default:
        return SyntaxError(token, "exclamation_tag_syntax");
    }
  }

  // Runs to the first '>' at its outer level, stepping over the comments and markup
  // declarations of an internal subset.
  Token Doctype(Token token) {
    std::uint32_t i = token.start + 3;
    while (i < end_) {
      const char c = s_[i];
      if (c == '>') {
        token.kind = kDoctype;
        token.length = i + 1 - token.start;
        return token;
      }
      if (c != '<' || i + 1 >= end_ || s_[i + 1] != '!') {
        ++i;
        continue;
      }
      if (i + 3 < end_ && s_[i + 2] == '-' && s_[i + 3] == '-') {
        const std::string_view rest(s_ + i + 4, end_ - i - 4);
        const std::size_t found = rest.find("-->");
        if (found == std::string_view::npos) break;
        i += 4 + static_cast<std::uint32_t>(found) + 3;
        continue;
      }
      const char kind = i + 2 < end_ ? s_[i + 2] : '\0';
      if (kind == 'A' || kind == 'E' || kind == 'N') {
        i = DeclarationEnd(i + 2);
        if (i >= end_) break;
        continue;
      }
      AddReport(reports_, "doctype_tag_syntax", {{"offset", {}, i}});
      i += 2;
    }
    return Unterminated(token, "document_type");
  }

  // Offset after the '>' of a markup declaration, literals respected; end_ when none.
  [[nodiscard]] std::uint32_t DeclarationEnd(std::uint32_t i) const {
    char quote = 0;
    for (; i < end_; ++i) {
      const char c = s_[i];
      if (quote != 0) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '>') {
        return i + 1;
      }
    }
    return end_;
  }

  // Skips a broken tag: to just after the next '>' or just before the next '<', with
  // attribute quoting tracked as in a start tag.
  Token SyntaxError(Token token, std::string_view keyword) {
    AddReport(reports_, keyword, {{"offset", {}, token.start}});
    token.kind = kErrorToken;
    bool afterEquals = false;
    char quote = 0;
    for (std::uint32_t i = token.start + 1; i < end_; ++i) {
      const char c = s_[i];
      if (quote != 0) {
        if (c == quote) quote = 0;
        continue;
      }
      if (c == '>') {
        token.length = i + 1 - token.start;
        return token;
      }
      if (c == '<') {
        token.length = i - token.start;
        return token;
      }
      if (c == '=') {
        afterEquals = s_[i - 1] != '=';
      } else if (afterEquals && (c == '"' || c == '\'')) {
        quote = c;
        afterEquals = false;
      } else if (!IsSpace(static_cast<unsigned char>(c))) {
        afterEquals = false;
      }
    }
    return Unterminated(token, "tag");
  }

  Token Unterminated(Token token, std::string_view typeName) {
    AddReport(reports_, "unterminated_tag_syntax",
              {{"type", typeName}, {"offset", {}, token.start}});
    token.kind = kErrorToken;
    token.length = end_ - token.start;
    return token;
  }

  const char* s_;
  std::uint32_t end_;
  std::string& reports_;
};

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp <= 0xFFFF) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | ((cp >> 18) & 7));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Reads a number the way a 32-bit strtol does (leading blanks, a sign and, for base 16,
// a "0x" prefix allowed; saturating). 0 when nothing can be read or it is not positive.
std::uint32_t ReadReferenceNumber(std::string_view digits, int base) {
  std::array<char, 16> buffer{};
  const std::size_t n = std::min(digits.size(), buffer.size() - 1);
  std::memcpy(buffer.data(), digits.data(), n);
  char* endPtr = nullptr;
  const long long value = std::strtoll(buffer.data(), &endPtr, base);
  if (endPtr == buffer.data() || value <= 0) return 0;
  return static_cast<std::uint32_t>(
      std::min<long long>(value, std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

namespace xml {

std::uint32_t LookupEntity(std::string_view name) {
  if (name.empty() || name.size() > 9) return 0;
  unsigned sum = 0;
  for (char c : name) sum += ToLowerAscii(static_cast<unsigned char>(c));
  const std::string_view bucket = kEntityBucketText[sum % kEntityBuckets];
  std::uint32_t firstMatch = 0;
  for (std::size_t p = 0; p + 5 <= bucket.size();) {
    const auto length = static_cast<std::size_t>(bucket[p] - '0');
    const std::string_view digits = bucket.substr(p + 1, 4);
    const std::string_view candidate = bucket.substr(p + 5, length);
    p += 5 + length;
    if (candidate.size() != name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < name.size() && same; ++i) {
      same = ToLowerAscii(static_cast<unsigned char>(candidate[i])) ==
             ToLowerAscii(static_cast<unsigned char>(name[i]));
    }
    if (!same) continue;
    std::uint32_t cp = 0;
    for (char d : digits) cp = cp * 10 + static_cast<std::uint32_t>(d - '0');
    if (candidate == name) return cp;
    if (firstMatch == 0) firstMatch = cp;
  }
  return firstMatch;
}

}  // namespace xml

// ---------------------------------------------------------------------------------------
// ElementTable

ElementTable::ElementTable() { Reserve(8); }

std::size_t ElementTable::RecordBytes() const {
  return static_cast<std::size_t>(capacity_) * sizeof(ElementRecord);
}

void ElementTable::Reserve(std::int32_t records) {
  while (capacity_ < records) GrowTo(records);
}

void ElementTable::Grow() { GrowTo(static_cast<std::int64_t>(capacity_) + capacity_ / 2); }

void ElementTable::GrowTo(std::int64_t records) {
  records = std::min<std::int64_t>(records, std::numeric_limits<std::int32_t>::max());
  if (records <= capacity_) return;
  const std::int64_t wanted = records - capacity_;
  if (!segments_.empty() && lastSegmentSize_ < kSegmentSize) {
    // Only a partial last segment ever moves.
    const auto size =
        static_cast<std::int32_t>(std::min<std::int64_t>(kSegmentSize, lastSegmentSize_ + wanted));
    // Records are written in full when handed out, so they need no zeroing here.
    auto bigger =
        std::make_unique_for_overwrite<ElementRecord[]>(static_cast<std::size_t>(size));  // NOLINT
    std::copy_n(segments_.back().get(), lastSegmentSize_, bigger.get());
    segments_.back() = std::move(bigger);
    capacity_ += size - lastSegmentSize_;
    lastSegmentSize_ = size;
    return;
  }
  if (segments_.size() == segments_.capacity()) segments_.reserve(segments_.size() * 2 + 4);
  const auto size = static_cast<std::int32_t>(std::min<std::int64_t>(kSegmentSize, wanted));
  segments_.push_back(
      std::make_unique_for_overwrite<ElementRecord[]>(static_cast<std::size_t>(size)));  // NOLINT
  capacity_ += size;
  lastSegmentSize_ = size;
}

// ---------------------------------------------------------------------------------------
// XmlDocument

XmlDocument::XmlDocument() = default;

void XmlDocument::ClearCursor() {
  parentPos_ = 0;
  mainPos_ = 0;
  childPos_ = 0;
  cursorKind_ = 0;
}

bool XmlDocument::SetText(std::string text) {
  text_ = std::move(text);
  result_.clear();
  ClearCursor();
  nextFree_ = 1;
  elements_[0] = ElementRecord{};
  // Offsets are 32-bit: a text too long for them is refused rather than misindexed.
  if (text_.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    end_ = 0;
    elements_[0].flags = kDocumentIllFormed;
    return false;
  }
  end_ = static_cast<std::uint32_t>(std::min(text_.find('\0'), text_.size()));
  elements_.Reserve(static_cast<std::int32_t>(end_ / 64 + 8));
  elements_[0].length = static_cast<std::int32_t>(end_);
  if (end_ == 0) return false;

  Parse();

  const ElementRecord& document = elements_[0];
  if (document.firstChild == 0) {
    AddReport(result_, "no_root_element", {});
  } else if (elements_[document.firstChild].nextSibling != 0) {
    AddReport(result_, "root_has_sibling", {});
  }
  ClearCursor();
  const ElementRecord& root = elements_[document.firstChild];
  return (document.flags & kDocumentIllFormed) == 0 && document.firstChild != 0 &&
         root.nextSibling == 0;
}

void XmlDocument::MarkIllFormed(std::int32_t element) {
  elements_[0].flags |= kDocumentIllFormed;
  elements_[element].flags |= kElementIllFormedInside;
}

inline void XmlDocument::AppendChild(std::int32_t parent, std::int32_t child) {
  ElementRecord& p = elements_[parent];
  ElementRecord& c = elements_[child];
  if (p.firstChild == 0) {
    p.firstChild = child;
    c.prevSibling = child;
    c.flags |= kElementFirstChild;
    return;
  }
  ElementRecord& first = elements_[p.firstChild];
  elements_[first.prevSibling].nextSibling = child;
  c.prevSibling = first.prevSibling;
  first.prevSibling = child;
}

void XmlDocument::Parse() {
  std::string tokenReports;
  Tokenizer tokenizer(text_.data(), end_, tokenReports);
  std::vector<OpenElement> stack;
  stack.reserve(7);
  std::int32_t current = 0;
  std::uint32_t pos = 0;
  for (;;) {
    const Token token = tokenizer.Next(pos);
    pos = token.start + token.length;
    switch (token.kind) {
      case kStartTag: {
        if (nextFree_ >= elements_.capacity()) elements_.Grow();
        const std::int32_t g = nextFree_++;
        // A start tag too long for its field is kept, clamped, and spoils the document:
        // the configuration never has one, and readers stay inside the text.
        elements_[g] = ElementRecord{
            .start = static_cast<std::int32_t>(token.start),
            .length = static_cast<std::int32_t>(token.length),
            .tagLengths = std::min(token.length, kMaxStartTagLength),
            .flags = static_cast<std::uint32_t>(stack.size()) & kElementLevelMask,
            .parent = current,
            .firstChild = 0,
            .nextSibling = 0,
            .prevSibling = 0,  // set by AppendChild
        };
        AppendChild(current, g);
        if (token.length > kMaxStartTagLength) MarkIllFormed(g);
        if (!token.empty) {
          stack.push_back({g, token.nameStart, token.nameLength});
          current = g;
        }
        break;
      }
      case kEndTag: {
        const std::string_view name(text_.data() + token.nameStart, token.nameLength);
        std::size_t k = stack.size();
        while (k > 0 && !NameMatches(std::string_view(text_.data() + stack[k - 1].nameStart,
                                                      stack[k - 1].nameLength),
                                     name)) {
          --k;
        }
        if (k == 0) {
          MarkIllFormed(current);
          AddReport(result_, "lone_end_tag", {{"tagname", name}, {"offset", {}, token.start}});
          break;
        }
        const std::size_t matched = k - 1;
        if (matched + 1 < stack.size()) CloseUnended(stack, matched + 1, token.nameStart - 1);
        const std::int32_t e = stack[matched].index;
        ElementRecord& record = elements_[e];
        record.length = static_cast<std::int32_t>(token.start + token.length) - record.start;
        // Same for an end tag too long for its field.
        record.tagLengths |= std::min(token.length, kMaxEndTagLength) << 22U;
        if (token.length > kMaxEndTagLength) MarkIllFormed(e);
        stack.pop_back();
        current = record.parent;
        break;
      }
      case kErrorToken:
        MarkIllFormed(current);
        break;
      case kEndOfText:
        CloseUnended(stack, 0, end_);
        return;
      default:
        break;
    }
    if (!tokenReports.empty()) {
      if (result_.size() < kReportLimit) result_ += tokenReports;
      tokenReports.clear();
    }
  }
}

// Each unended element hands its children to its parent as its following siblings.
// Closing a whole run of nested unended elements at once ends with every child of the
// run under the run's outer parent, in document order; doing it in one pass keeps a
// deeply nested broken document linear instead of quadratic.
void XmlDocument::CloseUnended(std::vector<OpenElement>& stack, std::size_t from,
                               std::uint32_t offset2) {
  if (from >= stack.size()) return;
  const std::int32_t target = from > 0 ? stack[from - 1].index : 0;
  bool illFormedInside = false;
  for (std::size_t k = stack.size(); k-- > from;) {
    ElementRecord& e = elements_[stack[k].index];
    e.tagLengths &= kMaxStartTagLength;
    e.length = static_cast<std::int32_t>(e.StartTagLength());
    e.flags |= kElementUnended;
    illFormedInside = illFormedInside || (e.flags & kElementIllFormedInside) != 0;
    e.flags &= ~kElementIllFormedInside;
    if (result_.size() < kReportLimit) {
      AddReport(
          result_, "unended_start_tag",
          {{"tagname", std::string_view(text_.data() + stack[k].nameStart, stack[k].nameLength)},
           {"offset", {}, e.start},
           {"offset2", {}, offset2}});
    }
  }
  std::int32_t last = stack[from].index;
  for (std::size_t k = from; k < stack.size(); ++k) {
    const std::int32_t index = stack[k].index;
    ElementRecord& e = elements_[index];
    e.parent = target;
    if (e.firstChild == 0) continue;
    std::int32_t child = e.firstChild;
    for (;;) {
      ElementRecord& c = elements_[child];
      c.parent = target;
      if (c.nextSibling == 0) break;
      child = c.nextSibling;
    }
    last = child;
    ElementRecord& first = elements_[e.firstChild];
    first.flags &= ~kElementFirstChild;
    first.prevSibling = index;
    e.nextSibling = e.firstChild;
    e.firstChild = 0;
  }
  elements_[0].flags |= kDocumentIllFormed;
  elements_[elements_[target].firstChild].prevSibling = last;
  if (illFormedInside) elements_[target].flags |= kElementIllFormedInside;
  stack.resize(from);
}

std::string_view XmlDocument::ElementName(std::int32_t index) const {
  if (index <= 0 || index >= nextFree_) return {};
  const ElementRecord& record = elements_[index];
  const auto from = static_cast<std::uint32_t>(record.start) + 1;
  const std::uint32_t to = static_cast<std::uint32_t>(record.start) + record.StartTagLength();
  std::uint32_t i = from;
  while (i < to && !kNameStops[static_cast<unsigned char>(text_[i])]) ++i;
  return {text_.data() + from, i - from};
}

bool XmlDocument::NextElement(std::string_view name) {
  name = UpToNul(name);
  std::int32_t i =
      mainPos_ != 0 ? elements_[mainPos_].nextSibling : elements_[parentPos_].firstChild;
  for (; i != 0; i = elements_[i].nextSibling) {
    if (name.empty() || NameMatches(ElementName(i), name)) {
      mainPos_ = i;
      parentPos_ = elements_[i].parent;
      childPos_ = 0;
      cursorKind_ = 1;
      return true;
    }
  }
  return false;
}

bool XmlDocument::EnterElement() {
  if (cursorKind_ != 1 || mainPos_ == 0) return false;
  parentPos_ = mainPos_;
  mainPos_ = childPos_;
  childPos_ = 0;
  cursorKind_ = mainPos_ != 0 ? 1 : 0;
  return true;
}

bool XmlDocument::LeaveElement() {
  if (parentPos_ == 0) return false;
  childPos_ = mainPos_;
  mainPos_ = parentPos_;
  parentPos_ = elements_[mainPos_].parent;
  cursorKind_ = 1;
  return true;
}

void XmlDocument::RewindElements() {
  mainPos_ = 0;
  childPos_ = 0;
  cursorKind_ = 0;
}

std::string XmlDocument::Decode(std::uint32_t from, std::uint32_t to) const {
  std::string out;
  out.reserve(to - from);
  const char* s = text_.data();
  std::uint32_t i = from;
  while (i < to) {
    const void* amp = std::memchr(s + i, '&', to - i);
    if (amp == nullptr) {
      out.append(s + i, to - i);
      break;
    }
    const auto at = static_cast<std::uint32_t>(static_cast<const char*>(amp) - s);
    out.append(s + i, at - i);
    i = at + 1;
    // The name: up to 9 bytes before a ';', ASCII only.
    std::uint32_t n = 0;
    while (n < 9 && i + n < to && s[i + n] != ';' && static_cast<unsigned char>(s[i + n]) < 0x80) {
      ++n;
    }
    std::uint32_t cp = 0;
    if (i + n < to && s[i + n] == ';') {
      const std::string_view name(s + i, n);
      if (!name.empty() && name[0] == '#') {
        const bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
        cp =
            hex ? ReadReferenceNumber(name.substr(2), 16) : ReadReferenceNumber(name.substr(1), 10);
      } else {
        cp = xml::LookupEntity(name);
      }
    }
    if (cp == 0) {
      out += '&';
      continue;
    }
    AppendUtf8(out, cp);
    i += n + 1;
  }
  return out;
}

std::string XmlDocument::GetAttribute(std::string_view name) const {
  if (mainPos_ == 0) return {};
  name = UpToNul(name);
  const ElementRecord& record = elements_[mainPos_];
  const char* s = text_.data();
  const auto tagEnd = static_cast<std::uint32_t>(record.start) + record.StartTagLength();
  std::uint32_t i = static_cast<std::uint32_t>(record.start) + 1;
  bool elementName = true;
  bool expectValue = false;
  bool hit = false;
  std::uint32_t hitStart = 0;
  std::uint32_t hitEnd = 0;
  for (;;) {
    while (i < tagEnd && IsSpace(static_cast<unsigned char>(s[i]))) ++i;
    if (i >= tagEnd) break;
    const char first = s[i];
    std::uint32_t tokenStart = i;
    std::uint32_t tokenEnd = i;
    const bool quoted = first == '"' || first == '\'';
    if (quoted) {
      tokenStart = i + 1;
      tokenEnd = tokenStart;
      while (tokenEnd < tagEnd && s[tokenEnd] != first) ++tokenEnd;
      i = std::min(tokenEnd + 1, tagEnd);
    } else if (expectValue) {
      while (tokenEnd < tagEnd && !IsSpace(static_cast<unsigned char>(s[tokenEnd])) &&
             s[tokenEnd] != '>') {
        ++tokenEnd;
      }
      i = tokenEnd;
    } else {
      while (tokenEnd < tagEnd) {
        const char c = s[tokenEnd];
        if (IsSpace(static_cast<unsigned char>(c)) || c == '/' || c == '=' || c == '>' ||
            c == '?') {
          break;
        }
        ++tokenEnd;
      }
      if (tokenEnd == tokenStart) ++tokenEnd;
      i = tokenEnd;
    }
    if (expectValue) {
      if (hit) return Decode(tokenStart, tokenEnd);
      expectValue = false;
      continue;
    }
    if (!quoted && (first == '>' || first == '/' || first == '?')) break;
    if (!quoted && first == '=') {
      expectValue = true;
      continue;
    }
    if (hit) break;  // the hit has no value of its own
    if (quoted) continue;
    if (elementName) {
      elementName = false;
      continue;
    }
    if (NameMatches(std::string_view(s + tokenStart, tokenEnd - tokenStart), name)) {
      hit = true;
      hitStart = tokenStart;
      hitEnd = tokenEnd;
    }
  }
  return hit ? Decode(hitStart, hitEnd) : std::string();
}

std::string XmlDocument::GetText() const {
  if (mainPos_ == 0) return {};
  const ElementRecord& record = elements_[mainPos_];
  const std::uint32_t startTag = record.StartTagLength();
  if (static_cast<std::int32_t>(startTag) == record.length ||
      (record.flags & kElementUnended) != 0 || record.firstChild != 0) {
    return {};
  }
  const auto from = static_cast<std::uint32_t>(record.start) + startTag;
  const auto to = static_cast<std::uint32_t>(record.start + record.length) - record.EndTagLength();
  if (to <= from) return {};
  if (std::memchr(text_.data() + from, '<', to - from) == nullptr) return Decode(from, to);

  std::string out;
  std::string ignoredReports;
  Tokenizer tokenizer(text_.data(), to, ignoredReports);
  for (std::uint32_t pos = from; pos < to;) {
    const Token token = tokenizer.Next(pos);
    if (token.kind == kEndOfText) break;
    pos = token.start + token.length;
    if (token.kind == kTextToken) {
      out += Decode(token.start, pos);
    } else if (token.kind == kCdata) {
      // Between "<![CDATA[" and "]]>"; the tokenizer only checked "<![C".
      const std::uint32_t innerEnd = pos - 3;
      const std::uint32_t innerStart = std::min(token.start + 9, innerEnd);
      out.append(text_, innerStart, innerEnd - innerStart);
    }
    ignoredReports.clear();
  }
  return out;
}

}  // namespace corvane
