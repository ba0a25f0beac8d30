#pragma once

// UTF-8 is the text of the system; UTF-16 is what the wide Windows calls take. Invalid
// input never fails: bad UTF-8 bytes and lone surrogates become U+FFFD.

#include <string>
#include <string_view>

namespace corvane {

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace corvane
