#pragma once

// Programs started with CreateProcessW, given the command line alone.

#include "platform/processes.h"

namespace corvane::win32 {

class Win32Processes final : public Processes {
 public:
  std::uint32_t run(std::string_view commandLine, bool wait, std::uint32_t* exitCode) override;
};

}  // namespace corvane::win32
