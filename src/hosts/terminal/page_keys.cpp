#include "hosts/terminal/page_keys.h"

#include <array>
#include <utility>

namespace corvane::terminal {
namespace {

using hosts::HostCommand;
using Kind = HostCommand::Kind;

// The check rows with a repair button, keyed by their place on the page.
constexpr std::array<std::pair<int, char>, 5> kRepairRows{
    {{2, '1'}, {3, '2'}, {4, '3'}, {10, '4'}, {11, '5'}}};
// The component rows 1 to 4.
constexpr std::array<char, 4> kComponentKeys{'6', '7', '8', '9'};

}  // namespace

std::vector<PageButton> PageButtons(const hosts::PageModel& page) {
  std::vector<PageButton> buttons;
  buttons.push_back({'r', "重新检测", {{Kind::kCheck, {1}}}});
  // The page's one-click button sends two commands, the repairs first.
  buttons.push_back({'s', "一键设置", {{Kind::kFix, {0}}, {Kind::kInstall, {0}}}});
  for (const auto& [item, key] : kRepairRows) {
    const hosts::PageRow& row = page.check(item);
    if (!row.button.empty()) buttons.push_back({key, row.button, {{Kind::kFix, {item}}}});
  }
  buttons.push_back({'c', "清除", {{Kind::kFix, {16}}}});
  buttons.push_back({'x', "清除", {{Kind::kFix, {12}}}});
  for (int row = 1; row <= 4; ++row) {
    const hosts::PageRow& component = page.component(row);
    if (!component.button.empty()) {
      buttons.push_back({kComponentKeys.at(static_cast<std::size_t>(row - 1)),
                         component.button,
                         {{Kind::kInstallcom, {row}}}});
    }
  }
  if (page.loginLink()) buttons.push_back({'l', "登录", {{Kind::kOpen, {}}}});
  return buttons;
}

const PageButton* FindButton(const std::vector<PageButton>& buttons, int key) {
  for (const PageButton& button : buttons) {
    if (button.key == key) return &button;
  }
  return nullptr;
}

}  // namespace corvane::terminal
