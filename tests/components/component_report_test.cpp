#include "components/component_report.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

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

}  // namespace
}  // namespace corvane
