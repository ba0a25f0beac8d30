#include "platform/environment.h"

namespace corvane {

std::string ExpandEnvironmentReferences(
    std::string_view text,
    const std::function<std::optional<std::string>(std::string_view name)>& lookup) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '%') {
      const std::size_t next = text.find('%', i);
      const std::size_t end = next == std::string_view::npos ? text.size() : next;
      out.append(text.substr(i, end - i));
      i = end;
      continue;
    }
    const std::size_t close = text.find('%', i + 1);
    if (close == std::string_view::npos) {
      out.append(text.substr(i));
      break;
    }
    if (std::optional<std::string> value = lookup(text.substr(i + 1, close - i - 1))) {
      out.append(*value);
      i = close + 1;
    } else {
      out.append(text.substr(i, close - i + 1));
      i = close + 1;
    }
  }
  return out;
}

}  // namespace corvane
