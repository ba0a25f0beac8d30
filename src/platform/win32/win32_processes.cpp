#include "platform/win32/win32_processes.h"

#include "platform/win32/win32_util.h"
#include "platform/win_errors.h"

namespace corvane::win32 {
namespace {

// Token rights the started program needs on its primary token.
constexpr DWORD kDesktopTokenAccess = TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY | TOKEN_DUPLICATE |
                                      TOKEN_ADJUST_DEFAULT | TOKEN_ADJUST_SESSIONID;

// CreateProcessWithTokenW exists from Windows Vista on; it is looked up at run time so that
// the program still loads on Windows XP, which never needs it.
using CreateProcessWithToken = BOOL(WINAPI*)(HANDLE, DWORD, LPCWSTR, LPWSTR, DWORD, LPVOID, LPCWSTR,
                                             LPSTARTUPINFOW, LPPROCESS_INFORMATION);

// The error of a call that failed; never 0, so a failure is never taken for a success.
std::uint32_t FailedWith() {
  const std::uint32_t error = LastError();
  return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
}

bool BeforeVista() {
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof(version);
  return ::GetVersionExW(&version) == FALSE || version.dwMajorVersion < 6;
}

// CreateProcessWithTokenW needs SeIncreaseQuotaPrivilege enabled in the caller's token.
std::uint32_t EnableIncreaseQuota() {
  UniqueHandle token;
  if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.put()) == FALSE) {
    return FailedWith();
  }
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (::LookupPrivilegeValueW(nullptr, L"SeIncreaseQuotaPrivilege",
                              &privileges.Privileges[0].Luid) == FALSE) {
    return FailedWith();
  }
  ::SetLastError(ERROR_SUCCESS);
  if (::AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr) == FALSE) {
    return FailedWith();
  }
  // AdjustTokenPrivileges succeeds with ERROR_NOT_ALL_ASSIGNED when the token lacks it.
  return LastError();
}

// A primary token of the desktop shell's process, for starting programs as its user.
std::uint32_t ShellToken(UniqueHandle& duplicate) {
  HWND shell = ::GetShellWindow();
  if (shell == nullptr) return ERROR_NOT_FOUND;  // no desktop shell running
  DWORD processId = 0;
  ::GetWindowThreadProcessId(shell, &processId);
  if (processId == 0) return FailedWith();
  const UniqueHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId));
  if (!process.valid()) return FailedWith();
  UniqueHandle token;
  if (::OpenProcessToken(process.get(), TOKEN_DUPLICATE, token.put()) == FALSE) return FailedWith();
  if (::DuplicateTokenEx(token.get(), kDesktopTokenAccess, nullptr, SecurityImpersonation,
                         TokenPrimary, duplicate.put()) == FALSE) {
    return FailedWith();
  }
  return ERROR_SUCCESS;
}

// Starts a program as this process's user; the process handle is kept for waiting.
std::uint32_t Start(std::string_view commandLine, UniqueHandle& process) {
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
  process.reset(started.hProcess);
  const UniqueHandle thread(started.hThread);
  return ERROR_SUCCESS;
}

}  // namespace

std::uint32_t Win32Processes::run(std::string_view commandLine, bool wait,
                                  std::uint32_t* exitCode) {
  UniqueHandle process;
  if (const std::uint32_t error = Start(commandLine, process)) return error;
  if (wait) {
    ::WaitForSingleObject(process.get(), INFINITE);
    DWORD code = 0;
    if (exitCode != nullptr && ::GetExitCodeProcess(process.get(), &code) != FALSE) {
      *exitCode = code;
    }
  }
  return win::kErrorSuccess;
}

std::uint32_t Win32Processes::runUntilStopped(std::string_view commandLine,
                                              const std::stop_token& stop) {
  UniqueHandle process;
  if (const std::uint32_t error = Start(commandLine, process)) return error;
  // Short waits, so that a stop request is seen within a tenth of a second.
  while (!stop.stop_requested() && ::WaitForSingleObject(process.get(), 100) == WAIT_TIMEOUT) {
  }
  return win::kErrorSuccess;
}

std::uint32_t Win32Processes::startAsDesktopUser(std::string_view commandLine) {
  if (commandLine.find_first_not_of(" \t") == std::string_view::npos) {
    return win::kErrorInvalidParameter;
  }
  // Where Windows has no split between the administrator and the desktop user, the program
  // starts as any other.
  if (BeforeVista()) return run(commandLine, false, nullptr);

  if (const std::uint32_t error = EnableIncreaseQuota()) return error;
  UniqueHandle token;
  if (const std::uint32_t error = ShellToken(token)) return error;
  HMODULE advapi = ::GetModuleHandleW(L"advapi32.dll");
  if (advapi == nullptr) return FailedWith();
  const auto createWithToken = reinterpret_cast<CreateProcessWithToken>(
      reinterpret_cast<void*>(::GetProcAddress(advapi, "CreateProcessWithTokenW")));
  if (createWithToken == nullptr) return FailedWith();

  // The call may write into the command line: its own copy, whole (never a fixed buffer).
  std::wstring line = Wide(commandLine);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  if (createWithToken(token.get(), 0, nullptr, line.data(), 0, nullptr, nullptr, &startup,
                      &started) == FALSE) {
    return FailedWith();
  }
  const UniqueHandle process(started.hProcess);
  const UniqueHandle thread(started.hThread);
  return win::kErrorSuccess;
}

}  // namespace corvane::win32
