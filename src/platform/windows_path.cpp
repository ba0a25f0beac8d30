#include "platform/windows_path.h"

#include <algorithm>

namespace corvane {
namespace {

constexpr char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

std::size_t LastSeparator(std::string_view path) {
  const std::size_t at = path.find_last_of("\\/");
  // "C:name" has no separator, but the drive is not part of the name.
  if (at == std::string_view::npos && path.size() >= 2 && path[1] == ':') return 1;
  return at;
}

}  // namespace

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return UpperAscii(x) == UpperAscii(y); });
}

std::string ToUpperAscii(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), UpperAscii);
  return out;
}

std::string_view PathFileName(std::string_view path) {
  const std::size_t at = LastSeparator(path);
  return at == std::string_view::npos ? path : path.substr(at + 1);
}

std::string_view PathParent(std::string_view path) {
  const std::size_t at = LastSeparator(path);
  if (at == std::string_view::npos) return {};
  // Keep the separator of a root: "C:\" or "\".
  if ((at == 2 && path[1] == ':') || at == 0 || (at == 1 && path[1] == ':')) {
    return path.substr(0, at + 1);
  }
  return path.substr(0, at);
}

std::string PathJoin(std::string_view folder, std::string_view name) {
  std::string out(folder);
  while (!name.empty() && IsPathSeparator(name.front())) name.remove_prefix(1);
  if (!out.empty() && !IsPathSeparator(out.back()) && !(out.size() == 2 && out[1] == ':')) {
    out.push_back('\\');
  }
  out.append(name);
  return out;
}

bool PathHasExtension(std::string_view path) {
  const std::string_view name = PathFileName(path);
  return name.find('.') != std::string_view::npos;
}

}  // namespace corvane
