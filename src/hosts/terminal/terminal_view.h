#pragma once

// Draws the page model on a terminal: in place with ANSI colours on a terminal, as plain
// lines of what changed otherwise (a log or a pipe).

#include <ostream>
#include <string>
#include <vector>

#include "hosts/common/page_model.h"
#include "ui/prompts.h"

namespace corvane::terminal {

using hosts::PageModel;
using hosts::Tone;

class TerminalView {
 public:
  TerminalView(std::ostream& out, bool ansi) : out_(out), ansi_(ansi) {}
  void render(const PageModel& page);

 private:
  std::ostream& out_;
  bool ansi_;
  std::vector<std::string> shown_;
};

// The prompt as text, with its links numbered as the user answers them.
std::string PromptText(const Prompt& prompt);

}  // namespace corvane::terminal
