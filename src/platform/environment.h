#pragma once

// The process's environment as a Windows program sees it: environment variables and their
// %NAME% expansion, the temporary folder, the running module's path and the current
// directory. Text is UTF-8; paths are Windows paths.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

class Environment {
 public:
  Environment() = default;
  Environment(const Environment&) = delete;
  Environment& operator=(const Environment&) = delete;
  Environment(Environment&&) = delete;
  Environment& operator=(Environment&&) = delete;
  virtual ~Environment() = default;

  // The variable's value, or nothing when it is not defined. Names compare without regard
  // to case, as on Windows.
  [[nodiscard]] virtual std::optional<std::string> variable(std::string_view name) const = 0;

  // ExpandEnvironmentStrings: every %NAME% of a defined variable is replaced by its value;
  // references to undefined variables and a lone % stay as written. Unlike the fixed
  // buffers of the ANSI call, results of any length are returned whole.
  [[nodiscard]] virtual std::string expand(std::string_view text) const = 0;

  // GetTempPath: the user's temporary folder with a trailing backslash.
  [[nodiscard]] virtual std::string tempFolder() const = 0;

  // GetModuleFileName of the running program: its full path, never truncated.
  [[nodiscard]] virtual std::string modulePath() const = 0;

  [[nodiscard]] virtual std::string currentDirectory() const = 0;
  // SetCurrentDirectory: the folder must exist; relative paths resolve against the current
  // directory. Returns a Windows error code (0 on success).
  virtual std::uint32_t setCurrentDirectory(std::string_view path) = 0;
};

// The expansion rules of ExpandEnvironmentStrings over any variable lookup: scanning left
// to right, "%NAME%" with a defined NAME becomes its value; with an undefined NAME it is
// kept whole, and scanning goes on after its closing % in both cases ("%X%PATH%" stays as
// it is when X is undefined). A % without a closing one is kept with the rest of the text.
std::string ExpandEnvironmentReferences(
    std::string_view text,
    const std::function<std::optional<std::string>(std::string_view name)>& lookup);

}  // namespace corvane
