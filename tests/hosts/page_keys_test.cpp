#include "hosts/terminal/page_keys.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvane::terminal {
namespace {

using hosts::HostCommand;
using hosts::PageModel;
using Kind = HostCommand::Kind;

std::string Keys(const std::vector<PageButton>& buttons) {
  std::string keys;
  for (const PageButton& button : buttons) keys += button.key;
  return keys;
}

// A key sends exactly the page's commands for its button, in the page's order.
TEST(PageKeysTest, KeysSendThePageCommands) {
  PageModel page;
  page.apply("setState", {1, 3, 1});           // hosts file failed: 修复
  page.apply("setState", {1, 11, 1});          // trusted sites failed: 修复
  page.apply("setState", {2, 2, 5});           // signing control missing: 安装
  page.apply("setState", {2, 3, 0x40000002});  // USB-key control disabled: 修复
  const std::vector<PageButton> buttons = PageButtons(page);
  EXPECT_EQ(Keys(buttons), "rs25cx78");
  struct Case {
    char key;
    const char* label;
    std::vector<HostCommand> commands;
  };
  const Case cases[] = {
      {'r', "重新检测", {{Kind::kCheck, {1}}}},
      {'s', "一键设置", {{Kind::kFix, {0}}, {Kind::kInstall, {0}}}},
      {'2', "修复", {{Kind::kFix, {3}}}},
      {'5', "修复", {{Kind::kFix, {11}}}},
      {'c', "清除", {{Kind::kFix, {16}}}},
      {'x', "清除", {{Kind::kFix, {12}}}},
      {'7', "安装", {{Kind::kInstallcom, {2}}}},
      {'8', "修复", {{Kind::kInstallcom, {3}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    const PageButton* button = FindButton(buttons, c.key);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->label, c.label);
    EXPECT_EQ(button->commands, c.commands);
  }
}

// A key whose button the page does not show does nothing: passed rows, components without a
// button, 登录 before success, and keys of no button at all.
TEST(PageKeysTest, HiddenButtonsHaveNoKey) {
  PageModel page;
  page.apply("setState", {1, 3, 0});
  page.apply("setState", {2, 4, 0x40000002});  // the driver row has no disabled button
  page.apply("setState", {0, 3, 1});
  std::vector<PageButton> buttons = PageButtons(page);
  for (const int key : {'1', '2', '9', 'l', 'q', 'z', '\0'}) {
    EXPECT_EQ(FindButton(buttons, key), nullptr) << key;
  }
  // Success offers 登录 and takes it away again with the next failure.
  page.apply("setState", {0, 3, 0});
  buttons = PageButtons(page);
  ASSERT_NE(FindButton(buttons, 'l'), nullptr);
  EXPECT_EQ(FindButton(buttons, 'l')->commands, (std::vector<HostCommand>{{Kind::kOpen, {}}}));
  page.apply("setState", {0, 3, 2});
  EXPECT_EQ(FindButton(PageButtons(page), 'l'), nullptr);
}

}  // namespace
}  // namespace corvane::terminal
