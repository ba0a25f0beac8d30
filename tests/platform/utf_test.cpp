#include "platform/utf.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane {
namespace {

struct UtfCase {
  std::string utf8;
  std::u16string utf16;
};

TEST(UtfTest, RoundTrips) {
  const UtfCase cases[] = {
      {"", u""},
      {"abc", u"abc"},
      {"\xE7\xBD\x91\xE9\x93\xB6\xE5\x8A\xA9\xE6\x89\x8B", u"\u7F51\u94F6\u52A9\u624B"},
      {"\xC3\xA9", u"\u00E9"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},  // needs a surrogate pair
  };
  for (const UtfCase& c : cases) {
    EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
    EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8) << c.utf8;
  }
}

TEST(UtfTest, MalformedInputBecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToUtf16("a\xFF"
                        "b"),
            u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("\xE7\xBD"), u"\uFFFD\uFFFD");            // cut short
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");            // overlong '/'
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t{0xD800}) + u"x"), "\xEF\xBF\xBDx");
}

}  // namespace
}  // namespace corvane
