#pragma once

// What a module below the dialog wants the page to show, as plain data. Components and USB
// keys return these; the dialog's PageBridge is the only code that calls the page, and it
// turns each one into the page's setState or clearState call.

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace corvane {

struct PageState {
  std::int32_t category = 0;
  std::int32_t item = 0;
  // A number or a text for setState; nothing for clearState.
  std::variant<std::monostate, std::int32_t, std::string> value;
  // Text arguments that follow a number in the same setState call (a component row's hint
  // and name); the page itself ignores them.
  std::vector<std::string> moreTexts;

  bool operator==(const PageState&) const = default;
};

using PageStates = std::vector<PageState>;

inline PageState SetState(std::int32_t category, std::int32_t item, std::int32_t value) {
  return {.category = category, .item = item, .value = value, .moreTexts = {}};
}
inline PageState SetStateText(std::int32_t category, std::int32_t item, std::string text) {
  return {.category = category, .item = item, .value = std::move(text), .moreTexts = {}};
}
inline PageState SetStateWithTexts(std::int32_t category, std::int32_t item, std::int32_t value,
                                   std::vector<std::string> texts) {
  return {.category = category, .item = item, .value = value, .moreTexts = std::move(texts)};
}
inline PageState ClearState(std::int32_t category, std::int32_t item) {
  return {.category = category, .item = item, .value = std::monostate{}, .moreTexts = {}};
}

}  // namespace corvane
