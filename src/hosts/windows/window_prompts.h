#pragma once

// Prompts as Windows dialogs, on whichever thread asks: a task dialog with a command link per
// answer where comctl32 6 has one (Vista and later), a message box where it does not (XP).

#include "platform/win32/win32_util.h"
#include "ui/prompts.h"

namespace corvane::windows {

class WindowPrompts final : public PromptHost {
 public:
  // `owner`: the dialog window, which owns the prompts of the dialog thread. A worker's prompt
  // belongs to no window, so the dialog stays usable while the worker waits.
  explicit WindowPrompts(HWND owner) : owner_(owner) {}

  int show(const Prompt& prompt) override;

  // The system's TaskDialogIndirect, or null where comctl32 has none.
  static win32::TaskDialogIndirectFunction FindTaskDialog();

 private:
  HWND owner_;
};

}  // namespace corvane::windows
