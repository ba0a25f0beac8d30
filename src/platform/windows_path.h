#pragma once

// Small helpers for Windows paths held as UTF-8 text. Both separators are accepted, as
// Windows does; results use backslashes.

#include <string>
#include <string_view>

namespace corvane {

[[nodiscard]] constexpr bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

// Windows compares file and variable names without regard to case. Only ASCII letters are
// folded: the names this system deals with are ASCII or Chinese, which has no case.
[[nodiscard]] bool EqualsIgnoringCase(std::string_view a, std::string_view b);
[[nodiscard]] std::string ToUpperAscii(std::string_view text);

// The last component ("C:\a\b.exe" -> "b.exe"; "C:\a\" -> "").
[[nodiscard]] std::string_view PathFileName(std::string_view path);
// Everything before the last component, without the separator, except that a root keeps
// its separator ("C:\a\b" -> "C:\a", "C:\a" -> "C:\"); "" when there is no separator.
[[nodiscard]] std::string_view PathParent(std::string_view path);
// PathAppend: folder and name joined with exactly one backslash.
[[nodiscard]] std::string PathJoin(std::string_view folder, std::string_view name);
// The last component has a dot, so SearchPath would not append a default extension.
[[nodiscard]] bool PathHasExtension(std::string_view path);

}  // namespace corvane
