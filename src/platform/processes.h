#pragma once

// Starting programs as CreateProcess does with a command line and no application name.

#include <cstdint>
#include <stop_token>
#include <string_view>

namespace corvane {

class Processes {
 public:
  Processes() = default;
  Processes(const Processes&) = delete;
  Processes& operator=(const Processes&) = delete;
  Processes(Processes&&) = delete;
  Processes& operator=(Processes&&) = delete;
  virtual ~Processes() = default;

  // Starts commandLine. Its first token, quoted or not, names the program; a name without
  // a folder is searched in the running program's folder, the current directory, the
  // system folders and PATH, and ".exe" is appended when it has no extension. An unquoted
  // name with blanks is tried at each blank in turn, as CreateProcess does.
  //
  // Returns 0 when the program started, otherwise the Windows error of the start
  // (ERROR_FILE_NOT_FOUND for a missing program, ERROR_BAD_EXE_FORMAT for a file that
  // cannot run). With wait, returns only when the program has ended, and stores its exit
  // code in *exitCode unless exitCode is null. The command line may be of any length the
  // system accepts; it is not cut.
  virtual std::uint32_t run(std::string_view commandLine, bool wait, std::uint32_t* exitCode) = 0;

  // Starts commandLine, read as run() reads it, with the rights of the logged-on desktop
  // user rather than this (elevated) process's: on Windows Vista and later with the token of
  // the desktop shell's process, on earlier Windows as an ordinary start. The program is not
  // awaited. There is no fall-back to this process's own rights: when the shell's token
  // cannot be had or used, nothing starts.
  //
  // Returns 0 when the program started, otherwise the Windows error of the step that failed
  // (ERROR_INVALID_PARAMETER for an empty command line). The command line is not cut.
  virtual std::uint32_t startAsDesktopUser(std::string_view commandLine) = 0;

  // Starts commandLine as run() does and waits for it to end, or until `stop` is requested:
  // then the program keeps running on its own and is no longer waited for (a closing window
  // never waits for an installer). Returns as run() does; 0 also when the wait was given up.
  virtual std::uint32_t runUntilStopped(std::string_view commandLine,
                                        const std::stop_token& stop) = 0;
};

}  // namespace corvane
