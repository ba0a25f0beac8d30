#include "platform/win32/win32_util.h"

#include "platform/utf.h"

namespace corvane::win32 {

std::wstring Wide(std::string_view text) {
  const std::u16string wide = Utf8ToUtf16(text);
  return {wide.begin(), wide.end()};
}

std::string Narrow(std::wstring_view text) {
  const std::u16string wide(text.begin(), text.end());
  return Utf16ToUtf8(wide);
}

}  // namespace corvane::win32
