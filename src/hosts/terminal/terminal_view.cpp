#include "hosts/terminal/terminal_view.h"

namespace corvane::terminal {
namespace {

std::string_view ToneCode(Tone tone) {
  switch (tone) {
    case Tone::kBlue:
      return "\x1b[34m";
    case Tone::kYellow:
      return "\x1b[33m";
    case Tone::kPlain:
      break;
  }
  return {};
}

}  // namespace

void TerminalView::render(const PageModel& page) {
  const std::vector<PageModel::Line> lines = page.lines();
  if (ansi_) {
    // Back to the top of the previous drawing, then each line cleared and drawn again.
    if (!shown_.empty()) out_ << "\x1b[" << shown_.size() << "A\r";
    for (const PageModel::Line& line : lines) {
      out_ << "\x1b[2K" << ToneCode(line.tone) << line.text
           << (line.tone == Tone::kPlain ? "" : "\x1b[0m") << '\n';
    }
    out_ << "\x1b[J";
    shown_.assign(lines.size(), {});
  } else {
    std::vector<std::string> texts;
    texts.reserve(lines.size());
    for (const PageModel::Line& line : lines) texts.push_back(line.text);
    for (std::size_t i = 0; i < texts.size(); ++i) {
      if (i >= shown_.size() || shown_[i] != texts[i]) out_ << texts[i] << '\n';
    }
    shown_ = std::move(texts);
  }
  out_.flush();
}

std::string PromptText(const Prompt& prompt) {
  std::string text = "[" + prompt.title + "]\n";
  if (!prompt.instruction.empty()) text += prompt.instruction + "\n";
  if (!prompt.content.empty()) text += prompt.content + "\n";
  for (const PromptLink& link : prompt.links) {
    text += "  " + std::to_string(link.id) + ") " + link.text + "\n";
  }
  return text;
}

}  // namespace corvane::terminal
