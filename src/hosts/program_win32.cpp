#include <iostream>

#include "app/corvane_app.h"
#include "hosts/program_os.h"
#include "platform/utf.h"
#include "platform/win32/win32_util.h"

namespace corvane::program {

void PrepareConsole() { ::SetConsoleOutputCP(CP_UTF8); }

// The wide command line, so arguments outside the ANSI code page arrive whole.
std::vector<std::string> ProgramArguments(int /*argc*/, char** /*argv*/) {
  return SplitCommandLine(Utf16ToUtf8(reinterpret_cast<const char16_t*>(::GetCommandLineW())));
}

bool InstallPlatform(const hosts::HostOptions& options,
                     std::unique_ptr<ScopedPlatform>& /*scope*/) {
  if (!options.machine.empty()) {
    std::cerr << "corvane: --machine names an emulated PC; this build runs on Windows itself\n";
    return false;
  }
  return true;
}

int EndForAnotherInstance(const hosts::HostOptions& /*options*/) { return 0; }

}  // namespace corvane::program
