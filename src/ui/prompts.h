#pragma once

// Everything the system says outside the page: a choice with command links, or a message.
// Texts come from the string table; the title is always string 136.

#include <cstdint>
#include <string>
#include <vector>

namespace corvane {

inline constexpr int kIdOk = 1;
inline constexpr int kIdYes = 6;  // the command link of a choice
inline constexpr int kIdNo = 7;   // the refusal link

struct PromptLink {
  int id = 0;
  std::string text;
};

struct Prompt {
  bool choice = false;         // promptChoice, else promptInfo
  std::vector<int> stringIds;  // content, instruction and, for a choice, link: as called
  std::string title;           // string 136
  std::string instruction;
  std::string content;
  std::vector<PromptLink> links;  // a choice: the link (6) and the refusal (7)
};

// Shows prompts for the host: a task dialog or message box on Windows, a modal dialog over
// the page in a browser, a question on a terminal. Blocks only the calling thread, which may
// be the dialog thread or a worker.
class PromptHost {
 public:
  PromptHost() = default;
  PromptHost(const PromptHost&) = delete;
  PromptHost& operator=(const PromptHost&) = delete;
  PromptHost(PromptHost&&) = delete;
  PromptHost& operator=(PromptHost&&) = delete;
  virtual ~PromptHost() = default;

  // The id of the button that closed the prompt.
  virtual int show(const Prompt& prompt) = 0;
};

// Asks the user to confirm one action. 6 is consent (the link), 7 the refusal.
int promptChoice(PromptHost& host, int contentId, int instructionId, int linkId);
// Shows a message; the result is not used by any caller.
int promptInfo(PromptHost& host, int contentId, int instructionId);

}  // namespace corvane
