#include "ui/prompts.h"

#include <cstdint>
#include <utility>

#include "platform/platform.h"
#include "platform/resources.h"

namespace corvane {
namespace {

constexpr int kTitleId = 136;

std::string LoadString(int id) {
  if (id <= 0) return {};
  return CurrentPlatform().resources().LoadTableString(static_cast<std::uint32_t>(id));
}

// The refusal text that goes with each consent link: the string table keeps it right after
// the link's own text. Without a refusal the callers' "stop" and "update later" branches
// could never be reached.
int RefusalTextFor(int linkId) {
  switch (linkId) {
    case 143:
      return 144;  // update now / update at the next start
    case 147:
      return 148;  // next download / stop downloading
    case 151:
      return 152;  // next install / stop installing
    default:
      return 0;
  }
}

Prompt MakePrompt(bool choice, int contentId, int instructionId) {
  Prompt prompt;
  prompt.choice = choice;
  prompt.stringIds = {contentId, instructionId};
  prompt.title = LoadString(kTitleId);
  prompt.instruction = LoadString(instructionId);
  prompt.content = LoadString(contentId);
  return prompt;
}

}  // namespace

int promptChoice(PromptHost& host, int contentId, int instructionId, int linkId) {
  Prompt prompt = MakePrompt(true, contentId, instructionId);
  prompt.stringIds.push_back(linkId);
  prompt.links.push_back({kIdYes, LoadString(linkId)});
  if (const int refusal = RefusalTextFor(linkId); refusal != 0) {
    prompt.links.push_back({kIdNo, LoadString(refusal)});
  }
  return host.show(prompt);
}

int promptInfo(PromptHost& host, int contentId, int instructionId) {
  return host.show(MakePrompt(false, contentId, instructionId));
}

}  // namespace corvane
