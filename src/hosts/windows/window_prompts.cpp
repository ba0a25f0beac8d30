#include "hosts/windows/window_prompts.h"

namespace corvane::windows {

// A message box with the content and the title: the main instruction and the links are not
// shown, and the box's OK counts as consent.
int WindowPrompts::show(const Prompt& prompt) {
  const std::wstring text = win32::Wide(prompt.content);
  const std::wstring title = win32::Wide(prompt.title);
  // A worker's prompt has no window of its own thread to belong to.
  const HWND owner =
      ::GetWindowThreadProcessId(owner_, nullptr) == ::GetCurrentThreadId() ? owner_ : nullptr;
  return ::MessageBoxW(owner, text.c_str(), title.c_str(),
                       prompt.choice ? MB_OK : MB_OK | MB_ICONINFORMATION);
}

}  // namespace corvane::windows
