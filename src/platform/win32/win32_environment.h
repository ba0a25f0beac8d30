#pragma once

// The real process environment through the wide Win32 calls, with buffers grown until the
// whole result fits.

#include "platform/environment.h"

namespace corvane::win32 {

class Win32Environment final : public Environment {
 public:
  [[nodiscard]] std::optional<std::string> variable(std::string_view name) const override;
  [[nodiscard]] std::string expand(std::string_view text) const override;
  [[nodiscard]] std::string tempFolder() const override;
  [[nodiscard]] std::string modulePath() const override;
  [[nodiscard]] std::string currentDirectory() const override;
  std::uint32_t setCurrentDirectory(std::string_view path) override;
};

}  // namespace corvane::win32
