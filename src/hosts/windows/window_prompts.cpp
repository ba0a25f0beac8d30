#include "hosts/windows/window_prompts.h"

#include <string>
#include <vector>

namespace corvane::windows {

win32::TaskDialogIndirectFunction WindowPrompts::FindTaskDialog() {
  // comctl32 is loaded for the whole process (the window host initialises it), in the
  // version the manifest binds.
  const HMODULE controls = ::GetModuleHandleW(L"comctl32.dll");
  if (controls == nullptr) return nullptr;
  return reinterpret_cast<win32::TaskDialogIndirectFunction>(  // NOLINT: GetProcAddress
      reinterpret_cast<void*>(::GetProcAddress(controls, "TaskDialogIndirect")));
}

int WindowPrompts::show(const Prompt& prompt) {
  const std::wstring title = win32::Wide(prompt.title);
  const std::wstring instruction = win32::Wide(prompt.instruction);
  const std::wstring content = win32::Wide(prompt.content);
  const bool onDialogThread = ::GetWindowThreadProcessId(owner_, nullptr) == ::GetCurrentThreadId();

  if (const win32::TaskDialogIndirectFunction taskDialog = FindTaskDialog()) {
    std::vector<std::wstring> texts;
    texts.reserve(prompt.links.size());
    std::vector<win32::TaskDialogButton> buttons;
    for (const PromptLink& link : prompt.links) {
      texts.push_back(win32::Wide(link.text));
      buttons.push_back({link.id, texts.back().c_str()});
    }
    win32::TaskDialogConfig config{};
    config.cbSize = sizeof(config);
    config.hwndParent = ::GetActiveWindow();
    config.dwFlags =
        win32::kTdfEnableHyperlinks | win32::kTdfUseCommandLinks | win32::kTdfExpandFooterArea;
    config.pszWindowTitle = title.c_str();
    config.pszMainInstruction = instruction.c_str();
    config.pszContent = content.c_str();
    config.cButtons = static_cast<UINT>(buttons.size());
    config.pButtons = buttons.empty() ? nullptr : buttons.data();
    config.pszFooter = L"";
    int button = 0;
    if (SUCCEEDED(taskDialog(&config, &button, nullptr, nullptr))) return button;
    // A task dialog that could not be shown falls back to the message box below.
  }

  // A choice with a refusal asks yes or no: the content texts are yes-or-no questions, and
  // the user keeps the refusal that a lone OK would take away. Yes is 6 and No 7, as the
  // links are.
  bool refusable = false;
  for (const PromptLink& link : prompt.links) refusable = refusable || link.id == kIdNo;
  UINT style = MB_OK;
  if (prompt.choice && refusable) {
    style = MB_YESNO | MB_ICONQUESTION;
  } else if (!prompt.choice) {
    style = MB_OK | MB_ICONINFORMATION;
  }
  return ::MessageBoxW(onDialogThread ? owner_ : nullptr, content.c_str(), title.c_str(), style);
}

}  // namespace corvane::windows
