#pragma once

// Programs started with CreateProcessW, given the command line alone, and with the desktop
// shell's token (CreateProcessWithTokenW) where Windows has one.

#include "platform/processes.h"

namespace corvane::win32 {

class Win32Processes final : public Processes {
 public:
  std::uint32_t run(std::string_view commandLine, bool wait, std::uint32_t* exitCode) override;
  std::uint32_t runUntilStopped(std::string_view commandLine, const std::stop_token& stop) override;
  std::uint32_t startAsDesktopUser(std::string_view commandLine) override;
};

}  // namespace corvane::win32
