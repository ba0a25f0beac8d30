#include "components/component_report.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace corvane {
namespace {

CheckConfig ListOf(std::initializer_list<const char*> types) {
  CheckConfig config;
  for (const char* type : types) {
    CheckItem item;
    item.type = type;
    config.items.push_back(item);
  }
  return config;
}

TEST(DisabledComponentStatesTest, OnlyEntriesOfTheListWithARowShowState8) {
  const CheckConfig config = ListOf({"SafeActiveX", "driver", "other", "UkeyActiveX"});
  struct Case {
    std::int32_t n;
    PageStates expected;
  };
  const Case cases[] = {
      {1, {SetState(2, 1, 8)}},
      {2, {SetState(2, 4, 8)}},
      {3, {}},
      {4, {SetState(2, 3, 8)}},
      {0, {}},
      {5, {}},
      {-1, {}},
      {INT_MIN, {}},
      {INT_MAX, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n);
    EXPECT_EQ(DisabledComponentStates(config, c.n), c.expected);
  }
}

TEST(ParseUsbIdListTest, ReadsNumbersAsStrtolWithBaseZeroBetweenCommas) {
  struct Case {
    const char* text;
    std::vector<UsbDeviceId> expected;
  };
  const Case cases[] = {
      {"0x096E0702", {0x096E0702U}},
      {"0x096E0702, 305419896,0", {0x096E0702U, 305419896U}},
      {" 010 ,x,,0x10", {8U, 16U}},   // octal, text without a number, an empty part
      {"0x80000000", {0x7FFFFFFFU}},  // beyond the 32-bit range: saturates, never matches
      {"-1", {0xFFFFFFFFU}},
      {"-99999999999", {0x80000000U}},
      {"0x", {}},
      {"", {}},
      {"12abc,34", {12U, 34U}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseUsbIdList(c.text), c.expected);
  }
}

CheckItem Item(const char* type, ComponentState state, const char* tips = "") {
  CheckItem item;
  item.type = type;
  item.state = state;
  item.tips = tips;
  item.name = "name";
  return item;
}

// One pass of the rows as the dialog makes it: every entry in order with the flags fresh.
PageStates Pass(const std::vector<CheckItem>& items, bool fromServer) {
  CheckConfig config;
  config.items = items;
  std::array<bool, 4> unreported{};
  unreported.fill(true);
  PageStates all;
  for (std::int32_t n = 0; n <= static_cast<std::int32_t>(items.size()) + 1; ++n) {
    const PageStates states = ComponentStates(config, fromServer, unreported, n);
    all.insert(all.end(), states.begin(), states.end());
  }
  return all;
}

TEST(ComponentStatesTest, RowsShowTheLastEntryNotInOrderAndOfferInstallsOnlyFromTheServer) {
  struct Case {
    const char* name;
    std::vector<CheckItem> items;
    bool fromServer;
    PageStates expected;
  };
  const Case cases[] = {
      {"installed entries report while none of the row failed",
       {Item("SignActiveX", 0), Item("SignActiveX", 0)},
       true,
       {SetState(2, 2, 0), SetState(2, 2, 0)}},
      {"missing then installed",
       {Item("UkeyActiveX", 5), Item("UkeyActiveX", 0)},
       true,
       {SetState(2, 3, 5)}},
      {"installed then missing",
       {Item("UkeyActiveX", 0), Item("UkeyActiveX", 5)},
       true,
       {SetState(2, 3, 0), SetState(2, 3, 5)}},
      {"local copy: no install or upgrade button",
       {Item("SafeActiveX", 2), Item("driver", 5), Item("driver", 2)},
       false,
       {SetState(2, 1, 2), SetState(2, 1, 6), SetState(2, 4, 5), SetState(2, 4, 7),
        SetState(2, 4, 2)}},
      {"a key flag alone is not in order on row 3, the code decides on row 1",
       {Item("UkeyActiveX", 0x80000000U), Item("SafeActiveX", 0x80000000U)},
       true,
       {SetState(2, 3, static_cast<std::int32_t>(0x80000000U)), SetState(2, 1, 0)}},
      {"hint text and name follow the word",
       {Item("SafeActiveX", 5, "tip")},
       true,
       {SetStateWithTexts(2, 1, 5, {"tip", "name"})}},
      {"no row for other types", {Item("Driver", 5), Item("", 5)}, true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Pass(c.items, c.fromServer), c.expected);
  }
}

}  // namespace
}  // namespace corvane
