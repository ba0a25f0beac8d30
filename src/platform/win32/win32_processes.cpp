#include "platform/win32/win32_processes.h"

#include "platform/win32/win32_util.h"
#include "platform/win_errors.h"

namespace corvane::win32 {

std::uint32_t Win32Processes::run(std::string_view commandLine, bool wait,
                                  std::uint32_t* exitCode) {
  if (commandLine.find_first_not_of(" \t") == std::string_view::npos) {
    return win::kErrorFileNotFound;
  }
  // CreateProcessW may write into the command line, so it gets its own copy, as long as the
  // line is: a fixed buffer would cut long installer paths.
  std::wstring line = Wide(commandLine);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &started) == FALSE) {
    return LastError();
  }
  const UniqueHandle process(started.hProcess);
  const UniqueHandle thread(started.hThread);
  if (wait) {
    ::WaitForSingleObject(process.get(), INFINITE);
    DWORD code = 0;
    if (exitCode != nullptr && ::GetExitCodeProcess(process.get(), &code) != FALSE) {
      *exitCode = code;
    }
  }
  return win::kErrorSuccess;
}

}  // namespace corvane::win32
