#include <curses.h>
#include <langinfo.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <clocale>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <cwchar>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "app/corvane_dlg.h"
#include "app/event_loop.h"
#include "bank/bank_values.h"
#include "hosts/common/dialog_adapter.h"
#include "hosts/common/host_session.h"
#include "hosts/terminal/in_place.h"
#include "hosts/terminal/page_keys.h"

namespace corvane::terminal {
namespace {

using hosts::PageModel;
using hosts::PageRow;
using hosts::Tone;

// Reached from signal handlers, which can see nothing else: the terminal's settings before
// curses changed them, and whether a closing signal came.
struct SignalState {
  termios saved{};
  volatile std::sig_atomic_t haveSaved = 0;
  volatile std::sig_atomic_t closeRequested = 0;
};
SignalState g_signals;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)

constexpr std::array kCloseSignals{SIGINT, SIGTERM, SIGHUP};
constexpr std::array kCrashSignals{SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

void OnCloseSignal(int /*signal*/) { g_signals.closeRequested = 1; }

// A crash: the terminal back as it was (async-signal-safe calls only), then the default
// action, so the crash still ends the process as a crash.
void OnCrashSignal(int signal) {
  if (g_signals.haveSaved != 0) (void)::tcsetattr(STDIN_FILENO, TCSANOW, &g_signals.saved);
  static constexpr std::string_view kReset = "\x1b[0m\x1b[?25h\x1b[?1049l\r\n";
  (void)!::write(STDOUT_FILENO, kReset.data(), kReset.size());
  (void)::signal(signal, SIG_DFL);
  (void)::raise(signal);
}

// Curses for the run's length: started in the constructor, the terminal restored in the
// destructor on every way out of the run.
class Screen {
 public:
  Screen() {
    // Wide characters need a UTF-8 character type; the C locale would break the Chinese texts.
    if (std::setlocale(LC_CTYPE, "") == nullptr ||
        std::strcmp(::nl_langinfo(CODESET), "UTF-8") != 0) {
      (void)std::setlocale(LC_CTYPE, "C.UTF-8");
    }
    // Unlike initscr, newterm reports a terminal it does not know (TERM unset, no terminfo)
    // instead of ending the process.
    // The settings from before curses starts: newterm already changes some.
    termios saved{};
    const bool haveSaved = ::tcgetattr(STDIN_FILENO, &saved) == 0;
    screen_ = newterm(nullptr, stdout, stdin);
    if (screen_ == nullptr) return;
    g_signals.saved = saved;
    if (haveSaved) g_signals.haveSaved = 1;
    for (const int signal : kCloseSignals) (void)::signal(signal, OnCloseSignal);
    for (const int signal : kCrashSignals) (void)::signal(signal, OnCrashSignal);
    cbreak();
    noecho();
    keypad(stdscr, TRUE);
    nodelay(stdscr, TRUE);
    curs_set(0);
    if (has_colors()) {
      start_color();
      use_default_colors();
      init_pair(1, COLOR_BLUE, -1);
      init_pair(2, COLOR_YELLOW, -1);
    }
  }
  Screen(const Screen&) = delete;
  Screen& operator=(const Screen&) = delete;
  Screen(Screen&&) = delete;
  Screen& operator=(Screen&&) = delete;
  ~Screen() {
    if (screen_ == nullptr) return;
    endwin();
    delscreen(screen_);
    for (const int signal : kCrashSignals) (void)::signal(signal, SIG_DFL);
    for (const int signal : kCloseSignals) (void)::signal(signal, SIG_DFL);
    g_signals.haveSaved = 0;
  }

  [[nodiscard]] bool started() const { return screen_ != nullptr; }

  // A key, or ERR when none is waiting.
  static int key() { return getch(); }

 private:
  SCREEN* screen_ = nullptr;
};

attr_t ToneAttr(Tone tone) {
  if (!has_colors()) return tone == Tone::kPlain ? A_NORMAL : A_BOLD;
  switch (tone) {
    case Tone::kBlue:
      return COLOR_PAIR(1);
    case Tone::kYellow:
      return COLOR_PAIR(2) | A_BOLD;
    case Tone::kPlain:
      break;
  }
  return A_NORMAL;
}

void Put(int y, int x, const std::string& text, attr_t attr = A_NORMAL) {
  attrset(attr);
  mvaddstr(y, x, text.c_str());
  attrset(A_NORMAL);
}

std::string ButtonText(const PageButton& button) {
  return std::string("[") + button.key + "]" + button.label;
}

constexpr int kLabelColumn = 2;
constexpr int kTextColumn = 22;
constexpr int kButtonColumn = 42;

struct Group {
  const char* title;
  std::vector<int> checks;      // page items
  std::vector<int> components;  // component rows
};

// Draws the page: status line with its bar and the two large buttons, the result line, the
// four boxes with their rows and buttons, the footer and the help line; returns the next row.
int DrawPage(const PageModel& page, bool prompting, const std::string& note) {
  const std::vector<PageButton> buttons = PageButtons(page);
  auto buttonOf = [&buttons](char key) -> std::string {
    const PageButton* button = FindButton(buttons, key);
    return button == nullptr ? std::string() : ButtonText(*button);
  };
  // Compact enough for a terminal of 80 x 24: status line, result line, the four boxes.
  int y = 0;
  const int percent = std::clamp(page.progress(), 0, 100);
  const int filled = percent / 5;
  std::string bar = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                    std::string(static_cast<std::size_t>(20 - filled), '.') + "] " +
                    std::to_string(page.progress()) + "%";
  Put(y, 0, page.status());
  Put(y, kTextColumn, bar);
  Put(y++, kButtonColumn + 8, buttonOf('r') + "  " + buttonOf('s'));
  std::string result = page.result();
  if (page.loginLink()) result += "  " + buttonOf('l');
  if (!note.empty()) result += "  " + note;
  Put(y++, 0, result, ToneAttr(page.resultTone()));

  auto row = [&](const PageRow& r, char key) {
    Put(y, kLabelColumn, r.label);
    Put(y, kTextColumn, r.text.empty() ? "-" : r.text, ToneAttr(r.tone));
    if (key != 0) Put(y, kButtonColumn, buttonOf(key));
    ++y;
  };
  const std::array<Group, 4> groups{{{"操作系统检测", {1, 2, 3, 4}, {}},
                                     {"网络检测", {5, 6, 7}, {}},
                                     {"浏览器检测", {8, 10, 11}, {}},
                                     {"控件与驱动检测", {}, {1, 2, 3, 4}}}};
  constexpr std::array<std::pair<int, char>, 5> kRepairKeys{
      {{2, '1'}, {3, '2'}, {4, '3'}, {10, '4'}, {11, '5'}}};
  for (const Group& group : groups) {
    Put(y++, 0, group.title, A_BOLD);
    for (const int item : group.checks) {
      char key = 0;
      for (const auto& [repairItem, repairKey] : kRepairKeys) {
        if (repairItem == item) key = repairKey;
      }
      row(page.check(item), key);
    }
    if (group.checks.size() == 3 && group.checks.front() == 8) {
      Put(y, kLabelColumn, "IE缓存清理");
      Put(y++, kButtonColumn, buttonOf('c'));
      Put(y, kLabelColumn, "SSL缓存清理");
      Put(y++, kButtonColumn, buttonOf('x'));
    }
    for (const int component : group.components) {
      row(page.component(component), static_cast<char>('5' + component));
    }
  }
  if (!page.footer().empty()) Put(y++, 0, page.footer());
  if (!prompting) {
    Put(std::max(y, LINES - 1), 0,
        "按键: r 重新检测 s 一键设置 1-5 修复 c/x 清除IE/SSL缓存 6-9 控件 l 登录 q 关闭",
        A_REVERSE);
  }
  return y + 1;
}

// Columns a text takes on the terminal (two for each Chinese character).
int DisplayWidth(const std::string& text) {
  std::mbstate_t state{};
  int width = 0;
  const char* at = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    wchar_t wide = 0;
    const std::size_t used = std::mbrtowc(&wide, at, left, &state);
    if (used == 0 || used > left) {  // NUL, or an invalid or cut sequence: one column each
      ++width;
      ++at;
      --left;
      state = {};
      continue;
    }
    const int columns = ::wcwidth(wide);
    width += columns < 0 ? 1 : columns;
    at += used;
    left -= used;
  }
  return width;
}

// The prompt over the lower part of the page, from row `y` or higher so that all of it shows:
// title, main instruction, content, a key per link, its help line at the bottom.
void DrawPrompt(const Prompt& prompt, int y) {
  std::vector<std::pair<std::string, attr_t>> lines;
  lines.emplace_back("== " + prompt.title + " ==", A_REVERSE);
  if (!prompt.instruction.empty()) lines.emplace_back("  " + prompt.instruction, A_BOLD);
  // Content may hold a line feed (the update prompt's second line).
  std::size_t start = 0;
  while (!prompt.content.empty()) {
    const std::size_t end = prompt.content.find('\n', start);
    lines.emplace_back(
        "  " + prompt.content.substr(start, end == std::string::npos ? end : end - start),
        A_NORMAL);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (prompt.links.empty()) {
    lines.emplace_back("  [Enter] 确定", A_BOLD);
  } else {
    for (std::size_t i = 0; i < prompt.links.size(); ++i) {
      lines.emplace_back(std::string("  [") + LinkKey(i) + "] " + prompt.links[i].text, A_BOLD);
    }
  }
  const int columns = std::max(COLS, 1);
  int height = 0;
  for (const auto& line : lines)
    height += std::max(1, (DisplayWidth(line.first) + columns - 1) / columns);
  y = std::max(0, std::min(y, LINES - 1 - height));
  move(y, 0);
  clrtobot();
  for (const auto& [text, attr] : lines) {
    Put(y, 0, text, attr);
    y += std::max(1, (DisplayWidth(text) + columns - 1) / columns);
  }
  Put(std::max(y, LINES - 1), 0,
      prompt.links.empty() ? "按键: Enter 确定  q 关闭" : "按键: 数字 选择  q 关闭", A_REVERSE);
}

// The answer that closing the dialog gives a prompt: the refusal, or OK for a message.
int ClosingAnswer(const Prompt& prompt) { return prompt.choice ? kIdNo : kIdOk; }

// The prompt's answer for a key, if the key answers it.
std::optional<int> AnswerFor(const Prompt& prompt, int key) {
  if (prompt.links.empty()) {
    if (key == '\n' || key == '\r' || key == KEY_ENTER || key == ' ' || key == '1') return kIdOk;
    return std::nullopt;
  }
  for (std::size_t i = 0; i < prompt.links.size(); ++i) {
    if (key == LinkKey(i)) return prompt.links[i].id;
  }
  return std::nullopt;
}

bool IsCloseKey(int key) { return key == 'q' || key == 'Q'; }

// Ctrl-L, as in other full-screen programs: whatever else wrote into the terminal is wiped.
constexpr int kRedrawKey = 'L' & 0x1F;

// The run's screen, page and prompt; the dialog thread draws and reads keys, a worker's
// prompt waits here for its answer.
class InPlaceUi {
 public:
  InPlaceUi(EventLoop& loop, std::thread::id loopThread) : loop_(loop), loopThread_(loopThread) {}

  void pageChanged(const PageModel& page) {
    page_ = &page;
    draw();
  }

  // Dialog thread: the site was opened for the user; its address is also shown, for the
  // person at the terminal to open.
  void siteOpened() {
    note_ = std::string("登录: ") + std::string(bank::kPublicSiteUrl);
    draw();
  }

  // Called by the session on whichever thread asks; questions are taken one at a time here.
  int ask(const Prompt& prompt) {
    if (std::this_thread::get_id() == loopThread_) return askOnLoop(prompt);
    // One worker's question at a time; the dialog thread's own question goes over it.
    const std::lock_guard workerLock(workerAskMutex_);
    std::unique_lock lock(mutex_);
    if (closing_) return ClosingAnswer(prompt);
    workerPrompt_ = prompt;
    answer_.reset();
    loop_.post([this] { draw(); });
    answered_.wait(lock, [this] { return answer_.has_value(); });
    workerPrompt_.reset();
    loop_.post([this] { draw(); });
    return *answer_;
  }

  // Dialog thread, every settle poll: keys and closing signals.
  void tick(hosts::HostSession& session, PageCommands& commands) {
    for (int key = Screen::key(); key != ERR; key = Screen::key()) {
      if (key == KEY_RESIZE) {
        draw();
        continue;
      }
      if (key == kRedrawKey) {
        redraw();
        continue;
      }
      if (IsCloseKey(key)) {
        close();
        return;
      }
      {
        const std::lock_guard lock(mutex_);
        if (workerPrompt_) {
          // As in the window, the prompt holds the page until it is answered.
          if (std::optional<int> answer = AnswerFor(*workerPrompt_, key)) {
            answer_ = answer;
            answered_.notify_all();
          }
          continue;
        }
      }
      if (page_ == nullptr) continue;
      const std::vector<PageButton> buttons = PageButtons(*page_);
      if (const PageButton* button = FindButton(buttons, key)) {
        // Copied: a command redraws the page and so changes the buttons.
        const std::vector<hosts::HostCommand> run = button->commands;
        for (const hosts::HostCommand& command : run) session.runCommand(command, commands);
      }
    }
    if (g_signals.closeRequested != 0) close();
  }

  [[nodiscard]] bool closing() const {
    const std::lock_guard lock(mutex_);
    return closing_;
  }

 private:
  // Closing the dialog: a waiting worker gets the closing answer so it can be joined.
  void close() {
    {
      const std::lock_guard lock(mutex_);
      closing_ = true;
      if (workerPrompt_ && !answer_) {
        answer_ = ClosingAnswer(*workerPrompt_);
        answered_.notify_all();
      }
    }
    loop_.quit();
  }

  // A prompt on the dialog thread blocks it, as a modal prompt would, until a key answers.
  int askOnLoop(const Prompt& prompt) {
    if (closing()) return ClosingAnswer(prompt);
    loopPrompt_ = &prompt;
    draw();
    int answer = ClosingAnswer(prompt);
    while (true) {
      if (g_signals.closeRequested != 0) {
        close();
        break;
      }
      const int key = Screen::key();
      if (key == ERR) {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        continue;
      }
      if (key == KEY_RESIZE) draw();
      if (key == kRedrawKey) redraw();
      if (IsCloseKey(key)) {
        close();
        break;
      }
      if (std::optional<int> chosen = AnswerFor(prompt, key)) {
        answer = *chosen;
        break;
      }
    }
    loopPrompt_ = nullptr;
    draw();
    return answer;
  }

  // Dialog thread only: the whole screen painted again, not only what changed.
  void redraw() {
    clearok(curscr, TRUE);
    draw();
  }

  // Dialog thread only.
  void draw() {
    erase();
    std::optional<Prompt> prompt;
    if (loopPrompt_ != nullptr) prompt = *loopPrompt_;
    {
      const std::lock_guard lock(mutex_);
      if (!prompt && workerPrompt_ && !answer_) prompt = workerPrompt_;
    }
    int y = 0;
    if (page_ != nullptr) y = DrawPage(*page_, prompt.has_value(), note_);
    if (prompt) DrawPrompt(*prompt, y);
    refresh();
  }

  EventLoop& loop_;
  std::thread::id loopThread_;
  const PageModel* page_ = nullptr;
  std::string note_;
  const Prompt* loopPrompt_ = nullptr;
  std::mutex workerAskMutex_;
  mutable std::mutex mutex_;  // guards what a worker's prompt shares with the dialog thread
  std::condition_variable answered_;
  std::optional<Prompt> workerPrompt_;
  std::optional<int> answer_;
  bool closing_ = false;
};

}  // namespace

bool InPlaceBuilt() { return true; }

bool RunInPlace(const hosts::HostOptions& options, std::ostream* transcript) {
  const Screen screen;
  if (!screen.started()) return false;
  std::unique_ptr<EventLoop> loop = MakeEventLoop();
  InPlaceUi ui(*loop, std::this_thread::get_id());
  hosts::HostSession session(
      *loop, options, transcript, [&ui](const PageModel& page) { ui.pageChanged(page); },
      [&ui](const Prompt& prompt) { return ui.ask(prompt); });
  DialogServices services = DefaultDialogServices();
  services.restartArguments = hosts::RestartArguments(options);
  services.siteOpened = [&session, &ui](std::string_view commandLine, bool started) {
    session.recordDesktopStart(commandLine, started);
    if (started) ui.siteOpened();
  };
  CCorvaneDlg dialog(*loop, session, session, std::move(services));
  session.setAskerSerialises();
  session.setTick([&ui, &session, &dialog] { ui.tick(session, dialog); });
  hosts::DialogAdapter adapter(dialog);
  session.run(adapter);
  return true;
}

}  // namespace corvane::terminal
