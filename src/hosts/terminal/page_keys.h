#pragma once

// The page's buttons as keys: which buttons the page shows at a moment, the key of each and
// the page commands a click sends, in the order the page's script sends them.

#include <string>
#include <vector>

#include "hosts/common/options.h"
#include "hosts/common/page_model.h"

namespace corvane::terminal {

struct PageButton {
  char key = 0;
  std::string label;  // the button's text on the page
  std::vector<hosts::HostCommand> commands;
};

// Every button the page shows now, in page order: 重新检测 and 一键设置, the repair buttons
// of the failed check rows, the two 清除 buttons, the component rows' buttons and 登录 while
// the result line offers it. Keys stay the same whatever else the page shows.
std::vector<PageButton> PageButtons(const hosts::PageModel& page);

// The key's button when the page shows it now; null otherwise.
const PageButton* FindButton(const std::vector<PageButton>& buttons, int key);

// The key of the n-th link (from 0) of a prompt: '1', '2', ...
inline char LinkKey(std::size_t index) { return static_cast<char>('1' + index); }

}  // namespace corvane::terminal
