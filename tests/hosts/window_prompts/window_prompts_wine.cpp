// The window host's prompts under Wine on a virtual display, as a user meets them: each one
// shown with the program's own string table, its texts read back from the window, a
// screenshot asked of the script that runs this (window_prompts_wine.sh), then answered by
// the command link, by the refusal link or by OK. Prints what it saw; status 1 on a mismatch.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "hosts/windows/window_prompts.h"
#include "platform/platform.h"
#include "platform/resources.h"

namespace corvane::windows {
namespace {

using namespace std::chrono_literals;

std::string TableString(int id) {
  return id == 0 ? std::string()
                 : CurrentPlatform().resources().LoadTableString(static_cast<std::uint32_t>(id));
}

BOOL CALLBACK CollectText(HWND child, LPARAM texts) {
  std::wstring text(512, L'\0');
  text.resize(static_cast<std::size_t>(
      ::GetWindowTextW(child, text.data(), static_cast<int>(text.size()))));
  if (!text.empty()) {
    reinterpret_cast<std::vector<std::string>*>(texts)->push_back(win32::Narrow(text));
  }
  return TRUE;
}

// Waits for the prompt, reads it, has the screenshot taken, then presses button `answer`.
void AnswerPrompt(const std::string& name, int answer, std::vector<std::string>& texts,
                  bool& found) {
  const std::wstring title = win32::Wide(TableString(136));
  HWND prompt = nullptr;
  for (int i = 0; i < 200 && prompt == nullptr; ++i) {
    std::this_thread::sleep_for(100ms);
    prompt = ::FindWindowW(nullptr, title.c_str());
  }
  found = prompt != nullptr;
  if (!found) return;
  std::this_thread::sleep_for(500ms);  // drawn
  ::EnumChildWindows(prompt, &CollectText, reinterpret_cast<LPARAM>(&texts));
  std::ofstream("shot-" + name).put('\n');
  for (int i = 0; i < 150 && !std::filesystem::exists("done-" + name); ++i) {
    std::this_thread::sleep_for(100ms);
  }
  const HWND button = ::GetDlgItem(prompt, answer);
  ::PostMessageW(button != nullptr ? button : prompt, BM_CLICK, 0, 0);
}

bool Contains(const std::vector<std::string>& texts, const std::string& wanted) {
  for (const std::string& text : texts) {
    if (text.find(wanted) != std::string::npos) return true;
  }
  return false;
}

int Run() {
  ::SetConsoleOutputCP(CP_UTF8);
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&controls);
  std::cout << "task dialog: " << (WindowPrompts::FindTaskDialog() != nullptr ? "yes" : "no")
            << '\n';

  struct Case {
    const char* name;
    bool choice;
    int content, instruction, link, refusal;
    int answer;    // the button pressed
    int expected;  // what the prompt returns
  };
  const Case cases[] = {
      {"update-now", true, 139, 142, 143, 144, kIdYes, kIdYes},
      {"download-stop", true, 145, 146, 147, 148, kIdNo, kIdNo},
      {"install-next", true, 149, 150, 151, 152, kIdYes, kIdYes},
      {"cache-cleared", false, 135, 0, 0, 0, kIdOk, kIdOk},
  };
  WindowPrompts prompts(nullptr);
  bool good = true;
  for (const Case& c : cases) {
    std::vector<std::string> texts;
    bool found = false;
    std::thread user(AnswerPrompt, std::string(c.name), c.answer, std::ref(texts), std::ref(found));
    const int result = c.choice ? promptChoice(prompts, c.content, c.instruction, c.link)
                                : promptInfo(prompts, c.content, c.instruction);
    user.join();
    std::cout << c.name << ": result " << result << ", texts:";
    for (const std::string& text : texts) std::cout << " [" << text << ']';
    std::cout << '\n';
    std::vector<std::string> wanted = {TableString(c.content)};
    if (c.instruction != 0) wanted.push_back(TableString(c.instruction));
    if (c.link != 0) wanted.push_back(TableString(c.link));
    if (c.refusal != 0) wanted.push_back(TableString(c.refusal));
    for (const std::string& text : wanted) {
      // The content's second line may be laid out as its own line: look for the first.
      const std::string line = text.substr(0, text.find('\n'));
      if (!Contains(texts, line)) {
        std::cout << c.name << ": missing text [" << line << "]\n";
        good = false;
      }
    }
    if (!found || result != c.expected) {
      std::cout << c.name << ": expected " << c.expected << (found ? "" : ", no window") << '\n';
      good = false;
    }
  }
  std::cout << (good ? "prompts: passed\n" : "prompts: FAILED\n") << std::flush;
  return good ? 0 : 1;
}

}  // namespace
}  // namespace corvane::windows

int main() { return corvane::windows::Run(); }
