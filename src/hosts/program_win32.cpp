#include <io.h>

#include <cstdio>
#include <iostream>

#include "app/corvane_app.h"
#include "hosts/program_os.h"
#include "platform/utf.h"
#include "platform/win32/win32_util.h"

namespace corvane::program {

namespace {

// A standard handle this process can use as it is: a file, a pipe, a device, or a console it
// is attached to. A window program started from a console without redirection has none.
bool StandardHandleUsable(DWORD which) {
  const HANDLE handle = ::GetStdHandle(which);
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
         ::GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// Points `stream` and its standard handle at the console's `device`.
void OpenOnConsole(std::FILE* stream, const char* device, const char* mode, DWORD which) {
  if (std::freopen(device, mode, stream) == nullptr) return;
  ::SetStdHandle(which, reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream))));
}

}  // namespace

void PrepareConsole(bool terminalPage) {
  const bool input = StandardHandleUsable(STD_INPUT_HANDLE);
  const bool output = StandardHandleUsable(STD_OUTPUT_HANDLE);
  const bool errors = StandardHandleUsable(STD_ERROR_HANDLE);
  if (!input || !output || !errors) {
    // A window program started from a command prompt runs beside it: the prompt does not wait
    // (start /wait and batch files do), so the output comes after the prompt's next line.
    const bool console =
        ::AttachConsole(ATTACH_PARENT_PROCESS) != 0 || (terminalPage && ::AllocConsole() != 0);
    if (console) {
      if (!input) OpenOnConsole(stdin, "CONIN$", "r", STD_INPUT_HANDLE);
      if (!output) OpenOnConsole(stdout, "CONOUT$", "w", STD_OUTPUT_HANDLE);
      if (!errors) OpenOnConsole(stderr, "CONOUT$", "w", STD_ERROR_HANDLE);
    }
  }
  ::SetConsoleOutputCP(CP_UTF8);
}

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
