#include "platform/emulated/reg_file.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane::emulated {
namespace {

using Bytes = std::vector<std::uint8_t>;

const RegValue* ValueAt(const RegNode& root, std::initializer_list<std::string_view> path,
                        std::string_view name) {
  const RegNode* node = &root;
  for (const std::string_view part : path) {
    node = node->FindSubKey(part);
    if (node == nullptr) return nullptr;
  }
  return node->FindValue(name);
}

// Everything a hand-edited or regedit-exported file may hold.
constexpr std::string_view kEveryForm =
    "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
    "; a comment\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\Test]\r\n"
    "@=\"default\"\r\n"
    "\"Path\"=\"C:\\\\Program Files\\\\\\\"Bank\\\"\"\r\n"
    "\"Number\"=dword:000000A8\r\n"
    "\"Short\"=dword:1\r\n"
    "\"Blob\"=hex:01,02,\\\r\n"
    "    03,ff\r\n"
    "\"Expand\"=hex(2):25,00,54,00,25,00,00,00\r\n"
    "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
    "\"Big\"=hex(b):01,00,00,00,00,00,00,00\r\n"
    "\"Nothing\"=hex(0):\r\n"
    "\"Removed\"=\"soon\"\r\n"
    "\"removed\"=-\r\n"
    "  \"Indented\" = \"ok\"  \r\n"
    "\r\n"
    "[hkey_current_user\\software\\TEST\\Sub]\r\n"
    "\"\xE5\x90\x8D\"=\"\xE7\xBD\x91\xE9\x93\xB6\"\r\n"
    "[HKEY_CURRENT_USER\\Software\\Doomed\\Child]\r\n"
    "[-HKEY_CURRENT_USER\\Software\\Doomed]\r\n";

TEST(RegFileTest, ReadsEveryForm) {
  const RegParseResult parsed = ParseRegFile(kEveryForm, "HKEY_CURRENT_USER");
  ASSERT_TRUE(parsed.ok()) << parsed.errorLine << ": " << parsed.error;
  const RegNode& root = *parsed.root;
  struct Expected {
    std::string_view name;
    std::uint32_t type;
    Bytes data;
  };
  const Expected expected[] = {
      {"", 1, {'d', 0, 'e', 0, 'f', 0, 'a', 0, 'u', 0, 'l', 0, 't', 0, 0, 0}},
      {"Number", 4, {0xA8, 0, 0, 0}},
      {"Short", 4, {1, 0, 0, 0}},
      {"Blob", 3, {1, 2, 3, 0xFF}},
      {"Expand", 2, {'%', 0, 'T', 0, '%', 0, 0, 0}},
      {"Multi", 7, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}},
      {"Big", 11, {1, 0, 0, 0, 0, 0, 0, 0}},
      {"Nothing", 0, {}},
      {"Indented", 1, {'o', 0, 'k', 0, 0, 0}},
  };
  for (const Expected& e : expected) {
    const RegValue* value = ValueAt(root, {"Software", "Test"}, e.name);
    ASSERT_NE(value, nullptr) << e.name;
    EXPECT_EQ(value->type, e.type) << e.name;
    EXPECT_EQ(value->data, e.data) << e.name;
  }
  const RegValue* path = ValueAt(root, {"Software", "Test"}, "path");
  ASSERT_NE(path, nullptr);
  const std::string pathText = "C:\\Program Files\\\"Bank\"";
  Bytes pathBytes;
  for (const char c : pathText)
    pathBytes.insert(pathBytes.end(), {static_cast<std::uint8_t>(c), 0});
  pathBytes.insert(pathBytes.end(), {0, 0});
  EXPECT_EQ(path->data, pathBytes);

  EXPECT_EQ(ValueAt(root, {"Software", "Test"}, "Removed"), nullptr);
  EXPECT_NE(ValueAt(root, {"SOFTWARE", "test", "sub"}, "\xE5\x90\x8D"), nullptr);
  EXPECT_EQ(root.FindSubKey("Software")->FindSubKey("Test")->name, "Test");  // first spelling
  EXPECT_EQ(root.FindSubKey("Software")->FindSubKey("Doomed"), nullptr);
}

TEST(RegFileTest, SyntaxErrorsNameTheirLine) {
  struct Case {
    std::string text;
    std::size_t line;
    std::string_view says;
  };
  const std::string header = "Windows Registry Editor Version 5.00\n";
  const Case cases[] = {
      {"REGEDIT4\n", 1, "Windows Registry Editor Version 5.00"},
      {"", 0, "Windows Registry Editor Version 5.00"},
      {header + "\"a\"=\"b\"\n", 2, "must follow a [key]"},
      {header + "[HKEY_LOCAL_MACHINE\\Software]\n", 2, "below HKEY_CURRENT_USER"},
      {header + "[HKEY_CURRENT_USER\\Software\n", 2, "end with ]"},
      {header + "[HKEY_CURRENT_USER\\\\Software]\n", 2, "empty key name"},
      {header + "[HKEY_CURRENT_USER\\S]\n\"a\"=\"C:\\Windows\"\n", 3, "unknown escape \\W"},
      {header + "[HKEY_CURRENT_USER\\S]\n\"a\"=\"open\n", 3, "no closing"},
      {header + "[HKEY_CURRENT_USER\\S]\n\"a\"=dword:123456789\n", 3, "1 to 8"},
      {header + "[HKEY_CURRENT_USER\\S]\n\"a\"=dword:xyz\n", 3, "1 to 8"},
      {header + "[HKEY_CURRENT_USER\\S]\n\"a\"=hex:01,zz\n", 3, "hex data"},
      {header + "[HKEY_CURRENT_USER\\S]\n\"a\"=hex:01,,02\n", 3, "hex data"},
      {header + "[HKEY_CURRENT_USER\\S]\n\"a\"=hex(2:00\n", 3, "closing )"},
      {header + "[HKEY_CURRENT_USER\\S]\n\"a\"=hex:01,\\\n", 3, "ends inside"},
      {header + "[HKEY_CURRENT_USER\\S]\n\"a\"=\"b\" trailing\n", 3, "after the string"},
      {header + "[HKEY_CURRENT_USER\\S]\n\"a\" \"b\"\n", 3, "expected ="},
      {header + "[HKEY_CURRENT_USER\\S]\n\"a\"=word:1\n", 3, "expected \"text\""},
      {header + "[HKEY_CURRENT_USER\\S]\nname=1\n", 3, "expected a [key] line"},
      {header + "[-HKEY_CURRENT_USER]\n", 2, "cannot be deleted"},
      {header + "[HKEY_CURRENT_USER\\S]\n\"\xFF\"=\"b\"\n", 3, "UTF-8"},
  };
  for (const Case& c : cases) {
    const RegParseResult parsed = ParseRegFile(c.text, "HKEY_CURRENT_USER");
    EXPECT_FALSE(parsed.ok()) << c.text;
    EXPECT_EQ(parsed.errorLine, c.line) << c.text;
    EXPECT_NE(parsed.error.find(c.says), std::string::npos) << c.text << " -> " << parsed.error;
  }
}

TEST(RegFileTest, WrittenTreesReadBackTheSame) {
  RegNode root;
  root.name = "HKEY_CURRENT_USER";
  root.values.push_back({"", 1, {'r', 0, 0, 0}});  // a value on the root itself
  auto key = std::make_shared<RegNode>();
  key->name = "Odd \"Key\" [1]";
  Bytes longBinary(300);
  for (std::size_t i = 0; i < longBinary.size(); ++i) longBinary[i] = static_cast<std::uint8_t>(i);
  key->values = {
      {"quote\" and \\ backslash", 1, {'x', 0, 0, 0}},
      {"no NUL", 1, {'h', 0, 'i', 0}},
      {"line break", 1, {'a', 0, '\n', 0, 0, 0}},
      {"lone surrogate", 1, {0x00, 0xD8, 0, 0}},
      {"odd length", 1, {'a', 0, 0}},
      {"short dword", 4, {1, 2, 3}},
      {"long", 3, longBinary},
      {"expand", 2, {'%', 0, 'A', 0, '%', 0, 0, 0}},
      {"multi", 7, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}},
      {"qword", 11, {1, 0, 0, 0, 0, 0, 0, 0}},
      {"type 0x12345", 0x12345, {7}},
      {"\xE5\x90\x8D", 1, {0x51, 0x7F, 0, 0}},
  };
  root.subkeys[FoldRegName(key->name)] = key;
  auto empty = std::make_shared<RegNode>();
  empty->name = "Empty";
  key->subkeys["EMPTY"] = empty;

  const std::string text = WriteRegFile(root, "first line\nsecond line");
  const RegParseResult parsed = ParseRegFile(text, "HKEY_CURRENT_USER");
  ASSERT_TRUE(parsed.ok()) << parsed.errorLine << ": " << parsed.error << "\n" << text;
  EXPECT_TRUE(SameRegTree(root, *parsed.root)) << text;
  EXPECT_EQ(WriteRegFile(*parsed.root, "first line\nsecond line"), text);
}

TEST(RegFileTest, OutputReadsLikeRegedit) {
  RegNode root;
  root.name = "HKEY_LOCAL_MACHINE";
  auto software = std::make_shared<RegNode>();
  software->name = "SOFTWARE";
  auto ie = std::make_shared<RegNode>();
  ie->name = "Internet Explorer";
  ie->values = {{"Version", 1, {'8', 0, '.', 0, '0', 0, 0, 0}},
                {"Flags", 4, {0xA0, 0, 0, 0}},
                {"Path", 2, {'%', 0, 'X', 0, '%', 0, 0, 0}}};
  software->subkeys["INTERNET EXPLORER"] = ie;
  root.subkeys["SOFTWARE"] = software;
  EXPECT_EQ(WriteRegFile(root, "note"),
            "Windows Registry Editor Version 5.00\n"
            "; note\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Internet Explorer]\n"
            "\"Version\"=\"8.0\"\n"
            "\"Flags\"=dword:000000a0\n"
            "; Path as text: \"%X%\"\n"
            "\"Path\"=hex(2):25,00,58,00,25,00,00,00\n");
}

TEST(RegFileTest, LongHexDataWrapsUnderEightyColumns) {
  RegNode root;
  root.name = "HKEY_CURRENT_USER";
  root.values.push_back({"UserFilter", 3, Bytes(200, 0xAB)});
  const std::string text = WriteRegFile(root);
  std::size_t start = 0;
  int lines = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    EXPECT_LE(end - start, 80U) << text.substr(start, end - start);
    start = end + 1;
    ++lines;
  }
  EXPECT_GT(lines, 8);
}

TEST(RegFileTest, FoldingCoversLettersBeyondAscii) {
  EXPECT_EQ(FoldRegName("Software\\\xC3\xA9t\xC3\xA9"), FoldRegName("SOFTWARE\\\xC3\x89T\xC3\x89"));
  EXPECT_EQ(FoldRegName("\xD0\xB4"), FoldRegName("\xD0\x94"));  // Cyrillic de
  EXPECT_NE(FoldRegName("a"), FoldRegName("b"));
}

}  // namespace
}  // namespace corvane::emulated
