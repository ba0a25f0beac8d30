#include "usbkey/usb_key_report.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(UsbKeyStatesTest, ClearsItemsTwoToSevenOfEachKeyCategoryFirst) {
  const PageStates states = UsbKeyStates(CheckConfig{});
  ASSERT_GE(states.size(), 24U);
  std::size_t i = 0;
  for (std::int32_t category = 800; category <= 803; ++category) {
    for (std::int32_t item = 2; item <= 7; ++item) {
      EXPECT_EQ(states[i++], ClearState(category, item));
    }
  }
}

}  // namespace
}  // namespace corvane
