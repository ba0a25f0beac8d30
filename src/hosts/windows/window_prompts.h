#pragma once

// Prompts as Windows dialogs, on whichever thread asks.

#include "platform/win32/win32_util.h"
#include "ui/prompts.h"

namespace corvane::windows {

class WindowPrompts final : public PromptHost {
 public:
  // `owner`: the dialog window, which owns the prompts of the dialog thread.
  explicit WindowPrompts(HWND owner) : owner_(owner) {}

  int show(const Prompt& prompt) override;

 private:
  HWND owner_;
};

}  // namespace corvane::windows
