#include "platform/emulated/regedit_import.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane::emulated {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Kind = RegImportOperation::Kind;

// The UTF-16LE form regedit writes: byte-order mark, then the text.
std::string Utf16File(std::u16string_view text) {
  std::string out = "\xFF\xFE";
  for (const char16_t unit : text) {
    out += static_cast<char>(unit & 0xFFU);
    out += static_cast<char>(unit >> 8U);
  }
  return out;
}

Bytes Wide(std::u16string_view text) {
  Bytes out;
  for (const char16_t unit : text) {
    out.push_back(static_cast<std::uint8_t>(unit & 0xFFU));
    out.push_back(static_cast<std::uint8_t>(unit >> 8U));
  }
  return out;
}

const RegImportOperation& Only(const RegImportParse& parsed, Kind kind) {
  static const RegImportOperation kNone;
  for (const RegImportOperation& op : parsed.operations) {
    if (op.kind == kind) return op;
  }
  ADD_FAILURE() << "no operation of that kind";
  return kNone;
}

TEST(RegeditImport, ReadsEveryValueFormOfAUtf16Export) {
  const std::string file = Utf16File(
      u"Windows Registry Editor Version 5.00\r\n"
      u"\r\n"
      u"[HKEY_CURRENT_USER\\Software\\Test]\r\n"
      u"@=\"default\"\r\n"
      u"\"Quoted\"=\"a \\\"b\\\" C:\\\\dir\\\\ \u4e2d\u6587\"\r\n"
      u"\"Wine\"=\"line\\nnext\\r\\0end\"\r\n"
      u"\"Dword\"=dword:deadbeef\r\n"
      u"\"Bin\"=hex:00,01,\\\r\n"
      u"  ; a comment inside the data\r\n"
      u"  fe,ff\r\n"
      u"\"Expand\"=hex(2):25,00,41,00,25,00,00,00\r\n"
      u"\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
      u"\"Qword\"=hex(b):88,77,66,55,44,33,22,11\r\n"
      u"\"None\"=hex(0):\r\n"
      u"\"Gone\"=-\r\n"
      u"\r\n"
      u"[-HKEY_CURRENT_USER\\Software\\Old]\r\n"
      u"\"Dropped\"=\"a value of a deleted key\"\r\n");
  const RegImportParse parsed = ParseRegeditExport(file);
  ASSERT_TRUE(parsed.ok()) << parsed.errorLine << ": " << parsed.error;

  struct Expected {
    std::string name;
    std::uint32_t type;
    Bytes data;
  };
  const std::vector<Expected> expected = {
      {"", 1, Wide(std::u16string(u"default\0", 8))},
      {"Quoted", 1, Wide(std::u16string(u"a \"b\" C:\\dir\\ \u4e2d\u6587\0", 17))},
      {"Wine", 1, Wide(std::u16string(u"line\nnext\r\0end\0", 15))},
      {"Dword", 4, {0xef, 0xbe, 0xad, 0xde}},
      {"Bin", 3, {0x00, 0x01, 0xfe, 0xff}},
      {"Expand", 2, Wide(std::u16string(u"%A%\0", 4))},
      {"Multi", 7, Wide(std::u16string(u"a\0b\0\0", 5))},
      {"Qword", 11, {0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11}},
      {"None", 0, {}},
  };
  std::vector<const RegImportOperation*> sets;
  for (const RegImportOperation& op : parsed.operations) {
    if (op.kind == Kind::kSetValue) sets.push_back(&op);
  }
  ASSERT_EQ(sets.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(sets[i]->root, "HKEY_CURRENT_USER");
    EXPECT_EQ(sets[i]->path, (std::vector<std::string>{"Software", "Test"}));
    EXPECT_EQ(sets[i]->value.name, expected[i].name);
    EXPECT_EQ(sets[i]->value.type, expected[i].type);
    EXPECT_EQ(sets[i]->value.data, expected[i].data);
  }
  EXPECT_EQ(sets[4]->line, 8U);  // a continued value is placed at its first line
  EXPECT_EQ(Only(parsed, Kind::kDeleteValue).value.name, "Gone");
  const RegImportOperation& deleted = Only(parsed, Kind::kDeleteKey);
  EXPECT_EQ(deleted.path, (std::vector<std::string>{"Software", "Old"}));
  EXPECT_EQ(parsed.operations.back().kind, Kind::kDeleteKey);  // its value is dropped
}

TEST(RegeditImport, Regedit4TextIsWidenedAndUtf8IsRead) {
  const RegImportParse ansi = ParseRegeditExport(
      "REGEDIT4\r\n\r\n[HKLM\\Software\\A]\r\n\"S\"=\"x\"\r\n\"E\"=hex(2):25,41,25,00\r\n");
  ASSERT_TRUE(ansi.ok()) << ansi.error;
  ASSERT_EQ(ansi.operations.size(), 3U);
  EXPECT_EQ(ansi.operations[0].root, "HKEY_LOCAL_MACHINE");
  EXPECT_EQ(ansi.operations[1].value.data, Wide(std::u16string(u"x\0", 2)));
  EXPECT_EQ(ansi.operations[2].value.data, Wide(std::u16string(u"%A%\0", 4)));

  const RegImportParse utf8 = ParseRegeditExport(
      "\xEF\xBB\xBFWindows Registry Editor Version "
      "5.00\n[HKEY_CLASSES_ROOT\\.x]\n@=\"\xC3\xBC\"\n");
  ASSERT_TRUE(utf8.ok()) << utf8.error;
  EXPECT_EQ(utf8.operations[1].value.data, Wide(std::u16string(u"\u00fc\0", 2)));
}

TEST(RegeditImport, RefusesBadInputNamingTheLine) {
  struct Case {
    const char* what;
    std::string file;
    std::size_t line;
  };
  const std::string header = "Windows Registry Editor Version 5.00\n";
  const std::vector<Case> cases = {
      {"no header", "[HKEY_CURRENT_USER\\A]\n", 1},
      {"empty file", "", 1},
      {"value before any key", header + "\"a\"=\"b\"\n", 2},
      {"unknown root", header + "[HKEY_NOWHERE\\A]\n", 2},
      {"root deleted", header + "[-HKEY_CURRENT_USER]\n", 2},
      {"empty key name", header + "[HKEY_CURRENT_USER\\A\\\\B]\n", 2},
      {"unclosed section", header + "[HKEY_CURRENT_USER\\A\n", 2},
      {"unknown escape", header + "[HKCU\\A]\n\"a\"=\"C:\\Temp\"\n", 3},
      {"unclosed string", header + "[HKCU\\A]\n\"a\"=\"text\n", 3},
      {"text after the string", header + "[HKCU\\A]\n\"a\"=\"b\" c\n", 3},
      {"dword too long", header + "[HKCU\\A]\n\"a\"=dword:123456789\n", 3},
      {"bad hex byte", header + "[HKCU\\A]\n\"a\"=hex:00,\\\n  0g\n", 4},
      {"file ends in continued data", header + "[HKCU\\A]\n\"a\"=hex:00,\\\n", 3},
      {"unknown value form", header + "[HKCU\\A]\n\"a\"=word:1\n", 3},
      {"line that is nothing", header + "[HKCU\\A]\nstray\n", 3},
      {"invalid UTF-8", header + "[HKCU\\A]\n\"a\"=\"\xC3\"\n", 3},
      {"non-ASCII in REGEDIT4", "REGEDIT4\n[HKCU\\A]\n\"a\"=\"\xFC\"\n", 3},
      {"non-ASCII hex(7) in REGEDIT4", "REGEDIT4\n[HKCU\\A]\n\"a\"=hex(7):fc,00,00\n", 3},
      {"odd UTF-16", Utf16File(u"Windows Registry Editor Version 5.00\r\n") + "x", 2},
      {"big-endian UTF-16", "\xFE\xFF", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const RegImportParse parsed = ParseRegeditExport(c.file);
    EXPECT_FALSE(parsed.ok());
    EXPECT_EQ(parsed.errorLine, c.line) << parsed.error;
    EXPECT_TRUE(parsed.operations.empty());
  }
}

std::array<std::shared_ptr<RegNode>, 3> EmptyHives() {
  std::array<std::shared_ptr<RegNode>, 3> hives;
  for (auto& hive : hives) hive = std::make_shared<RegNode>();
  return hives;
}

TEST(RegeditImport, MergesIntoTheHivesAsRegeditDoes) {
  auto hives = EmptyHives();
  const RegImportParse first = ParseRegeditExport(
      "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\App\\Sub]\n\"Keep\"=\"1\"\n\"Drop\"=\"2\"\n"
      "[HKEY_CURRENT_USER\\Software\\Old\\Deep]\n");
  ASSERT_TRUE(first.ok());
  ASSERT_FALSE(ApplyRegImport(first.operations, hives));
  const RegImportParse second = ParseRegeditExport(
      "REGEDIT4\n[hkey_current_user\\SOFTWARE\\app\\sub]\n\"drop\"=-\n\"Keep\"=dword:1\n"
      "[-HKEY_CURRENT_USER\\Software\\Old]\n[-HKEY_CURRENT_USER\\Software\\Never]\n");
  ASSERT_TRUE(second.ok());
  ASSERT_FALSE(ApplyRegImport(second.operations, hives));

  const RegNode* software = hives[1]->FindSubKey("Software");
  ASSERT_NE(software, nullptr);
  EXPECT_EQ(software->FindSubKey("Old"), nullptr);  // with its sub key
  const RegNode* sub = software->FindSubKey("App")->FindSubKey("Sub");
  ASSERT_NE(sub, nullptr);
  EXPECT_EQ(sub->name, "Sub");  // the first spelling stays, as in Windows
  ASSERT_EQ(sub->values.size(), 1U);
  EXPECT_EQ(sub->values[0].name, "Keep");
  EXPECT_EQ(sub->values[0].type, 4U);
  EXPECT_TRUE(hives[0]->subkeys.empty());
}

TEST(RegeditImport, ChangesNothingWhenAnOperationCannotBeHeld) {
  for (const char* file : {"REGEDIT4\n[HKCU\\A]\n\"x\"=\"1\"\n[HKEY_USERS\\S-1-5-18]\n",
                           "REGEDIT4\n[HKCU\\A]\n\"x\"=\"1\"\n\"line\\nbreak\"=\"2\"\n"}) {
    SCOPED_TRACE(file);
    auto hives = EmptyHives();
    const RegImportParse parsed = ParseRegeditExport(file);
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    const auto error = ApplyRegImport(parsed.operations, hives);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->line, 4U);
    EXPECT_TRUE(hives[1]->subkeys.empty());
  }
}

}  // namespace
}  // namespace corvane::emulated
