#pragma once

// Starting programs on the emulated PC. The command line is read as CreateProcess reads it
// (see Processes) and the program is looked up on the machine's C: drive. Windows programs
// cannot run here: a file that starts with "MZ", like any file that is not a script, fails
// with ERROR_BAD_EXE_FORMAT. A file whose first line is "#!interpreter [argument]" is a
// stand-in for a Windows program and runs natively:
//   - argv: the interpreter, its argument if any, the script's host path, then the
//     arguments split from the command line with the CommandLineToArgvW rules, unchanged
//     (Windows paths stay Windows paths, as the real program would get them);
//   - environment: confined, only the machine's own variables (USERNAME, ProgramFiles, TEMP
//     and the rest, with Windows values), PATH=/run/corvane:/usr/local/bin:/usr/bin:/bin,
//     HOME and TMPDIR /tmp, LANG C.UTF-8, the sanitizer options of a sanitized build and
//     CORVANE_MACHINE=<machine folder>; unconfined, this process's plus CORVANE_MACHINE. The
//     script can find drive_c/ and map a path such as C:\x\y to $CORVANE_MACHINE/drive_c/x/y
//     (names resolve case-insensitively only through the platform, so scripts should use the
//     spelling the files have);
//   - standard input /dev/null; standard output and error into the machine's programs.log
//     (program_output_log.h), never the caller's terminal;
//   - working directory: the emulated current directory on the host, or drive_c/ when it
//     does not exist.
// The exit code is the script's exit status; a script killed by a signal exits with
// 128 + the signal number, as in a shell.
//
// Every program started on the host runs confined (program_sandbox.h): it reads the
// system's folders and the settings' read-only paths, writes only the emulated Windows
// (drive_c/, registry/, the certificate stores, drive_c's sidecar files) and a private /tmp,
// sees the rest of the machine folder read-only (the settings, the test CA, locks, logs;
// nothing new can be made there), finds the machine's tool at /run/corvane/corvane-machine
// (setMachineTool), and has the network only as setConfinement() gives it. Whatever it
// starts ends when it ends (a program left running, as by a closing window, goes on). A program
// the sandbox cannot start (an interpreter outside what it sees) fails with
// ERROR_FILE_NOT_FOUND, as one that is not there. When the sandbox
// cannot be made (bwrap missing, no namespaces here) the start fails with
// ERROR_ACCESS_DENIED, the reason goes to standard error and to confinementError(), and
// nothing runs; only settings with `confined` false run programs as they are. An
// interpreter that is not on the host fails with ERROR_FILE_NOT_FOUND, as before.
//
// The machine's installed program file (the environment's module path) is a Windows image
// too; once setProgramHost() has named the host program that stands in for it, a start of
// that file runs the host program natively, with the arguments split from the command line
// (so a restart of the program is a new process of the host program on the same machine).
// Confined too, it also reads the host program, writes the machine folder (its lock, its
// image record; the settings and the test CA stay read-only) and the files setProgramHost()
// names (its transcript), keeps the caller's terminal session, environment and output, and
// has the network whenever the machine is online:
// its own network layer keeps it to what network.ini allows.
//
// regsvr32 (by that name alone, or in C:\Windows\System32 or SysWOW64) is the one program
// of the machine that is not a file: it runs inside this process, on the registry given to
// setRegistry(). "regsvr32 [/s] [/u] FILE" reads FILE as a registrable file
// (registrable_file.h) and sets HKCR\CLSID\{class}\InprocServer32 to FILE's full Windows
// path for each class it names (/u deletes those keys). Exit codes as Windows' regsvr32: 0
// done, 1 bad arguments, 3 a file that is not there, 4 a file that is not registrable, 5
// the registry refused. Without a registry, only a file of that name on the machine runs.
//
// Starts as the desktop user (the browser for the bank's site) run nothing on the host: each
// is recorded as one line, the command line, appended to processes.log in the machine folder.
// A command line with a line break or NUL cannot be recorded and fails with
// ERROR_INVALID_PARAMETER; a log that cannot be written fails with its error.

#include <sys/types.h>

#include <array>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/emulated/drive_c.h"
#include "platform/emulated/machine_folder.h"
#include "platform/emulated/pinned_files.h"
#include "platform/emulated/program_output_log.h"
#include "platform/processes.h"
#include "platform/registry.h"

namespace corvane {
class Environment;
}

namespace corvane::emulated {

// Where the machine's tool is inside the sandbox, for the scripts that change the machine
// as installers do; the folder is first on their PATH.
inline constexpr std::string_view kConfinedToolFolder = "/run/corvane";
inline constexpr std::string_view kConfinedMachineTool = "/run/corvane/corvane-machine";

// How the programs of a machine run on the host (machine.ini's [programs]).
struct ProgramConfinement {
  bool confined = true;
  bool scriptNetwork = false;                   // installers and scripts share the host's network
  bool hostNetwork = false;                     // the machine's own program (setProgramHost) does
  std::vector<std::filesystem::path> readOnly;  // absolute host paths they may read
};

class EmulatedProcesses final : public Processes {
 public:
  // environment gives the current directory, the program's folder and PATH; it must
  // outlive this object.
  EmulatedProcesses(const MachineFolder& folder, const Environment& environment);
  EmulatedProcesses(const EmulatedProcesses&) = delete;
  EmulatedProcesses& operator=(const EmulatedProcesses&) = delete;
  EmulatedProcesses(EmulatedProcesses&&) = delete;
  EmulatedProcesses& operator=(EmulatedProcesses&&) = delete;
  // Collects programs that have ended; those still running are left to run.
  ~EmulatedProcesses() override;

  std::uint32_t run(std::string_view commandLine, bool wait, std::uint32_t* exitCode) override;
  std::uint32_t startAsDesktopUser(std::string_view commandLine) override;
  std::uint32_t runUntilStopped(std::string_view commandLine, const std::stop_token& stop) override;

  // The host program that runs when the machine's program file is started; empty: none,
  // the file then fails like any Windows image.
  // `writable`: absolute host paths, such as the host's transcript, it may write.
  void setProgramHost(std::filesystem::path hostProgram,
                      std::vector<std::filesystem::path> writable = {});

  // The default is confined, with no network and nothing more to read.
  void setConfinement(ProgramConfinement confinement);

  // The host path of corvane-machine, seen read-only at kConfinedMachineTool by confined
  // scripts; the build's own by default. Empty: none.
  void setMachineTool(std::filesystem::path tool);

  // Copies the output programs have written so far into the log (programs.log).
  void flushOutput();

  // Why the last start that was refused for want of a sandbox was refused; empty if none.
  [[nodiscard]] std::string confinementError() const;

  // The registry regsvr32 writes to; it must outlive this object. nullptr: no regsvr32.
  void setRegistry(Registry* registry);

  // The files pinned on this machine (EmulatedFileSystem::pins()): a pinned program or
  // registered file is run or read from its pinned copy. It must outlive this object.
  void setPinnedFiles(const PinnedFiles* pins);

  // The machine's record of programs started as the desktop user.
  [[nodiscard]] std::filesystem::path startLog() const { return folder_.root() / "processes.log"; }

 private:
  // Finds the program a command line names: its host path and the text after its name.
  std::uint32_t findProgram(std::string_view commandLine, ResolvedPath& program,
                            std::string_view& arguments) const;
  void reapEnded();
  // The exit code of regsvr32 when commandLine starts it, else nothing.
  std::optional<std::uint32_t> runRegsvr32(std::string_view commandLine);
  // Starts the program of commandLine; pid receives it.
  std::uint32_t spawn(std::string_view commandLine, pid_t& pid);
  // Puts bwrap and its arguments before argv; an error when no sandbox can be made.
  // `script`: the file the interpreter runs (empty for the machine's program); `confined`
  // receives whether it runs in the sandbox.
  std::uint32_t confine(std::vector<std::string>& argv, bool isProgramHost,
                        const std::filesystem::path& workingFolder, const std::string& name,
                        const std::string& script, bool& confined,
                        const std::filesystem::path& pinnedImage = {});
  // The host file that holds resolved's bytes: its pinned copy while it is pinned.
  [[nodiscard]] std::filesystem::path bytesOf(const ResolvedPath& resolved) const;

  MachineFolder folder_;
  const Environment& environment_;
  DriveC drive_;
  mutable std::mutex mutex_;
  std::vector<pid_t> running_;         // started without waiting, not yet collected
  std::filesystem::path programHost_;  // guarded by mutex_
  std::vector<std::filesystem::path> programHostWritable_;  // guarded by mutex_
  ProgramConfinement confinement_;                          // guarded by mutex_
  std::array<bool, 2> sandboxWorks_{};                      // by network shared; guarded by mutex_
  std::string confinementError_;                            // guarded by mutex_
  const PinnedFiles* pins_ = nullptr;                       // guarded by mutex_
  Registry* registry_ = nullptr;                            // guarded by mutex_
  std::filesystem::path machineTool_;                       // guarded by mutex_
  ProgramOutputLog output_;  // last: its thread ends before the rest goes
};

}  // namespace corvane::emulated
