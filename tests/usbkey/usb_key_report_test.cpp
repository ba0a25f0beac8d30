// The key report against the stand-in vendor library, on the emulated PC natively and under
// Wine in the Windows build: each row installs and describes libraries, lists the
// configuration's entries with their state words and gives what the page gets after the 24
// clearings.
#include "usbkey/usb_key_report.h"

#include <gtest/gtest.h>

#include <array>
#include <ostream>
#include <string>
#include <vector>

#include "key_machine.h"
#include "usbkey/usb_key.h"

namespace corvane {

void PrintTo(const PageState& state, std::ostream* out) {
  *out << "(" << state.category << ", " << state.item;
  if (const auto* number = std::get_if<std::int32_t>(&state.value)) *out << ", " << *number;
  if (const auto* text = std::get_if<std::string>(&state.value)) *out << ", \"" << *text << "\"";
  *out << ")";
}

namespace {

constexpr ComponentState kAbsent = kComponentKeyAbsentFlag;

struct Library {
  const char* name;
  std::string description;  // empty: installed without a description
};

struct Entry {
  const char* className;
  ComponentState state;
};

struct Row {
  const char* what;
  std::vector<Library> libraries;
  std::vector<Entry> entries;
  PageStates expected;  // after the clearings
};

PageStates Clearings() {
  PageStates states;
  for (std::int32_t category = 800; category <= 803; ++category) {
    for (std::int32_t item = 2; item <= 7; ++item) states.push_back(ClearState(category, item));
  }
  return states;
}

PageStates RunRow(const Row& row) {
  testing::KeyMachine pc;
  for (const Library& library : row.libraries) {
    pc.install(library.name);
    if (!library.description.empty()) pc.describe(library.name, library.description);
  }
  CheckConfig config;
  for (const Entry& entry : row.entries) {
    CheckItem item;
    item.type = "driver";
    item.className = entry.className;
    item.state = entry.state;
    config.items.push_back(item);
  }
  return ReportUsbKeys(config);
}

void ExpectRows(const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    PageStates expected = Clearings();
    expected.insert(expected.end(), row.expected.begin(), row.expected.end());
    EXPECT_EQ(RunRow(row), expected);
  }
}

const std::string kTwoFeitianKeys =
    "version = 2.0.1\n"
    "[key]\nserial = ABC\\123\ncerts = Alice;Bob\npin_retries = 5\n"
    "[key]\nserial = DEF\ncerts = Carol\npin_retries = 0\n";
const PageStates kTwoFeitianKeysShown{SetStateText(802, 2, "ABC"),  SetState(802, 3, 0),
                                      SetState(802, 4, 1),          SetState(802, 5, 0),
                                      SetState(802, 6, 2),          SetState(802, 7, 0),
                                      SetStateText(802, 8, "2.0.1")};

const std::string kHuahongKey =
    "version = 1.0\n"
    "[key]\nserial = HH1\ncerts = Alice;Bob\npin_retries = 3\nintact = 1\ndefault_pin = 1\n";
const PageStates kHuahongKeyShown{SetStateText(800, 2, "HH1"), SetState(800, 3, 0),
                                  SetState(800, 4, 0),         SetState(800, 5, 1),
                                  SetState(800, 6, 2),         SetState(800, 7, 0),
                                  SetStateText(800, 8, "1.0")};

TEST(ReportUsbKeysTest, WhichEntriesAreReadAndWhatThePageGets) {
  ExpectRows({
    {"no entry names a class: the clearings only",
     {{"Ftbank_ePass2000Auto.dll", kTwoFeitianKeys}},
     {{"", 0}},
     {}},
        {"a driver that is not installed (5, whatever the flags) is not read",
         {{"Ftbank_ePass2000Auto.dll", kTwoFeitianKeys}},
         {{"CFeitianUSBKey", 5}, {"CFeitianUSBKey", 5 | kAbsent | kComponentDisabledFlag}},
         {}},
        {"class names compare exactly",
         {{"BHDLL.dll", kHuahongKey}},
         {{"chuahongusbkey", 0}, {"CUSBKey", 0}},
         {}},
        {"two Feitian keys, the second locked: the first serial cut at its backslash",
         {{"Ftbank_ePass2000Auto.dll", kTwoFeitianKeys}},
         {{"CFeitianUSBKey", 0}},
         kTwoFeitianKeysShown},
        {"no key attached: the driver version alone",
         {{"Ftbank_ePass2000Auto.dll", kTwoFeitianKeys}},
         {{"CFeitianUSBKey", kAbsent}},
         {SetStateText(802, 8, "2.0.1")}},
#if !defined(_WIN32)  // the Windows test program always has the stand-ins beside it
        {"no library: the clearings only", {}, {{"CFeitianUSBKey", 0}, {"CHuahongUSBKey", 0}}, {}},
#endif
        {"a library without description finds no key and no version",
         {{"BHDLL.dll", ""}},
         {{"CHuahongUSBKey", 0}},
         {SetState(800, 6, 0), SetState(800, 7, 1)}},
        {"Huahong: every item",
         {{"BHDLL.dll", kHuahongKey}},
         {{"CHuahongUSBKey", 0}},
         kHuahongKeyShown},
        {"Huahong: an empty first certificate name is not registered",
         {{"BHDLL.dll", "version = 1.0\n[key]\nserial = HH1\ncerts_hex = 00 41 00 00\n"}},
         {{"CHuahongUSBKey", 0}},
         {SetStateText(800, 2, "HH1"), SetState(800, 3, 0), SetState(800, 4, 0),
          SetState(800, 5, 0), SetState(800, 6, 0), SetState(800, 7, 1),
          SetStateText(800, 8, "1.0")}},
        {"Huahong: GetKeyFile says not intact",
         {{"BHDLL.dll", "[key]\nserial = HH1\nintact = 0\n"}},
         {{"CHuahongUSBKey", 0}},
         {SetStateText(800, 2, "HH1"), SetState(800, 3, 1), SetState(800, 4, 0),
          SetState(800, 5, 0), SetState(800, 6, 0), SetState(800, 7, 1)}},
        {"Tiancheng: items 3 and 4 from GetPINRetry, no item 5",
         {{"TC_RZ_LR.dll",
           "version = 7\n[key]\nserial = T1\ncerts = X\npin_retries = 0\ndefault_pin = 1\n"}},
         {{"CTianchengUSBKey", 0}},
         {SetStateText(801, 2, "T1"), SetState(801, 3, 0), SetState(801, 4, 1), SetState(801, 6, 1),
          SetState(801, 7, 0), SetStateText(801, 8, "7")}},
        {"Feitian2 reads its own library into category 803",
         {{"Ftbank_InterPass3000.dll", "version = 9\n[key]\nserial = F2\ndefault_pin = 1\n"}},
         {{"CFeitian2USBKey", 0}},
         {SetStateText(803, 2, "F2"), SetState(803, 3, 0), SetState(803, 4, 0), SetState(803, 5, 1),
          SetState(803, 6, 0), SetState(803, 7, 1), SetStateText(803, 8, "9")}},
        {"a failing GetKeyCount ends the reading after the version",
         {{"BHDLL.dll", "version = 1.0\nfail = GetKeyCount\n" + kHuahongKey.substr(14)}},
         {{"CHuahongUSBKey", 0}},
         {SetState(800, 6, 0), SetState(800, 7, 1), SetStateText(800, 8, "1.0")}},
        {"a per-key failure leaves that key out of its list only",
         {{"BHDLL.dll",
           kHuahongKey + "[key]\nserial = HH2\npin_retries = 0\nfail = GetPINRetry\n"}},
         {{"CHuahongUSBKey", 0}},
         kHuahongKeyShown},
  });
}

// BOOL results count as 32 bits, bool results as 8: a library answering 0x100 succeeds for
// Huahong and fails every call for Feitian.
TEST(ReportUsbKeysTest, ResultWidthsFollowTheVendor) {
  ExpectRows({
      {"Huahong reads 0x100 as success",
       {{"BHDLL.dll", "result = 0x100\n" + kHuahongKey}},
       {{"CHuahongUSBKey", 0}},
       kHuahongKeyShown},
      {"Feitian reads 0x100 as failure",
       {{"Ftbank_ePass2000Auto.dll", "result = 0x100\n" + kTwoFeitianKeys}},
       {{"CFeitianUSBKey", 0}},
       {SetState(802, 6, 0), SetState(802, 7, 1)}},
  });
}

// What a library writes never takes the reading outside its buffers, and its text reaches the
// page as valid UTF-8.
TEST(ReportUsbKeysTest, LibraryBuffersAreUntrusted) {
  std::string noNul;  // 2048 bytes of 'A' in hex, without any NUL
  for (int i = 0; i < 2048; ++i) noNul += "41 ";
  ExpectRows({
      {"a serial buffer without any NUL, with more keys claimed: one serial, up to the end",
       {{"TC_RZ_LR.dll", "count = 5\nsn_hex = " + noNul + "\n"}},
       {{"CTianchengUSBKey", 0}},
       {SetStateText(801, 2, std::string(2048, 'A')), SetState(801, 6, 0), SetState(801, 7, 1)}},
      {"a count far beyond the texts written stops at the buffer's end",
       {{"TC_RZ_LR.dll", "count = 0x7fffffff\n[key]\nserial = T1\npin_retries = 2\n"}},
       {{"CTianchengUSBKey", 0}},
       {SetStateText(801, 2, "T1"), SetState(801, 3, 0), SetState(801, 4, 0), SetState(801, 6, 0),
        SetState(801, 7, 1)}},
      {"a certificate list without its end: the names up to the buffer's end",
       {{"BHDLL.dll", "[key]\nserial = HH1\ncerts_hex = " + noNul + "\n"}},
       {{"CHuahongUSBKey", 0}},
       {SetStateText(800, 2, "HH1"), SetState(800, 3, 0), SetState(800, 4, 0), SetState(800, 5, 0),
        SetState(800, 6, 1), SetState(800, 7, 0)}},
      {"invalid UTF-8 in a serial and the version becomes U+FFFD",
       {{"TC_RZ_LR.dll", "version = v\xff\ncount = 1\nsn_hex = 41 ff c3 00\n"}},
       {{"CTianchengUSBKey", 0}},
       {SetStateText(801, 2, "A\xEF\xBF\xBD\xEF\xBF\xBD"), SetState(801, 6, 0), SetState(801, 7, 1),
        SetStateText(801, 8, "v\xEF\xBF\xBD")}},
      {"a Feitian certificate count beyond any key is cut, a negative one is none",
       {{"Ftbank_ePass2000Auto.dll",
         "[key]\nserial = A\ncert_count = 0x7fffffff\n[key]\nserial = B\n"},
        {"Ftbank_InterPass3000.dll", "[key]\nserial = C\ncert_count = -3\n"}},
       {{"CFeitianUSBKey", 0}, {"CFeitian2USBKey", 0}},
       {SetStateText(802, 2, "A"), SetState(802, 3, 0), SetState(802, 4, 0), SetState(802, 5, 0),
        SetState(802, 6, kMostCertificates), SetState(802, 7, 0), SetStateText(803, 2, "C"),
        SetState(803, 3, 0), SetState(803, 4, 0), SetState(803, 5, 0), SetState(803, 6, 0),
        SetState(803, 7, 1)}},
  });
}

// A library that crashes ends its own vendor's reading; what it gave before stays, and the
// vendors after it are read.
TEST(ReportUsbKeysTest, ACrashingLibraryStopsOnlyItsOwnVendor) {
  ExpectRows({
      {"Huahong crashes in GetKeySN, Feitian is read",
       {{"BHDLL.dll", "crash = GetKeySN\n" + kHuahongKey},
        {"Ftbank_ePass2000Auto.dll", kTwoFeitianKeys}},
       {{"CHuahongUSBKey", 0}, {"CFeitianUSBKey", 0}},
       [] {
         PageStates shown{SetState(800, 6, 0), SetState(800, 7, 1), SetStateText(800, 8, "1.0")};
         shown.insert(shown.end(), kTwoFeitianKeysShown.begin(), kTwoFeitianKeysShown.end());
         return shown;
       }()},
      {"Tiancheng crashes in GetPINRetry after the certificates",
       {{"TC_RZ_LR.dll", "crash = GetPINRetry\n[key]\nserial = T1\ncerts = X\n"}},
       {{"CTianchengUSBKey", 0}},
       {SetStateText(801, 2, "T1"), SetState(801, 6, 1), SetState(801, 7, 0)}},
  });
}

TEST(TextsInBufferTest, WalksStayInsideTheBuffer) {
  const std::array<char, 7> buffer{'a', 0, 'b', 'c', 0, 0, 'd'};
  EXPECT_EQ(TextsInBuffer(buffer.data(), buffer.size(), 2), (std::vector<std::string>{"a", "bc"}));
  EXPECT_EQ(TextsInBuffer(buffer.data(), buffer.size(), 100),
            (std::vector<std::string>{"a", "bc", "", "d"}));
  EXPECT_EQ(TextsInBuffer(buffer.data(), buffer.size(), -1), std::vector<std::string>{});
  EXPECT_EQ(TextListInBuffer(buffer.data(), buffer.size()), (std::vector<std::string>{"a", "bc"}));
  EXPECT_EQ(TextListInBuffer(&buffer[6], 1), std::vector<std::string>{"d"});
}

}  // namespace
}  // namespace corvane
