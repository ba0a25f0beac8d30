#include "platform/utf.h"

#include <cstdint>

namespace corvane {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at text[i], advancing i; malformed sequences give U+FFFD and
// consume one byte.
char32_t DecodeUtf8(std::string_view text, std::size_t& i) {
  const auto lead = static_cast<unsigned char>(text[i++]);
  if (lead < 0x80) return lead;
  int extra = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if ((lead & 0xE0U) == 0xC0U) {
    extra = 1, cp = lead & 0x1FU, min = 0x80;
  } else if ((lead & 0xF0U) == 0xE0U) {
    extra = 2, cp = lead & 0x0FU, min = 0x800;
  } else if ((lead & 0xF8U) == 0xF0U) {
    extra = 3, cp = lead & 0x07U, min = 0x10000;
  } else {
    return kReplacement;
  }
  if (i + static_cast<std::size_t>(extra) > text.size()) return kReplacement;
  for (int k = 0; k < extra; ++k) {
    const auto c = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
    if ((c & 0xC0U) != 0x80U) return kReplacement;
    cp = (cp << 6U) | (c & 0x3FU);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kReplacement;
  i += static_cast<std::size_t>(extra);
  return cp;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const char32_t cp = DecodeUtf8(text, i);
    if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10U));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FFU));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10U) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6U));
      out += static_cast<char>(0x80 | (cp & 0x3FU));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12U));
      out += static_cast<char>(0x80 | ((cp >> 6U) & 0x3FU));
      out += static_cast<char>(0x80 | (cp & 0x3FU));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18U));
      out += static_cast<char>(0x80 | ((cp >> 12U) & 0x3FU));
      out += static_cast<char>(0x80 | ((cp >> 6U) & 0x3FU));
      out += static_cast<char>(0x80 | (cp & 0x3FU));
    }
  }
  return out;
}

}  // namespace corvane
