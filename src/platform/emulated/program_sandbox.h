#pragma once

// The sandbox in which the emulated PC runs its programs on Linux. A program of the PC is a
// script run natively, and installers and updates come from a server: run as they are, a
// hostile download would act with the user's rights on the whole Linux machine. So every
// program starts inside Debian's bubblewrap (`bwrap`), where it:
//   - sees the system's programs and libraries read-only (/usr, /bin, /sbin, /lib*, and the
//     files of /etc that programs need to start and to name users, hosts and certificates;
//     not the rest of /etc, /home, /root, /var or /run), the folders and files the machine's
//     settings list read-only, and nothing else of the host;
//   - writes only the machine folder (at its own path, so CORVANE_MACHINE stays valid), or
//     only the parts of it the plan names writable, and a private, empty /tmp; the files of
//     the folder that steer the emulation can be bound read-only over it;
//   - gets the environment the plan gives, nothing of the caller's, when the plan has one;
//   - has its own user (capabilities dropped, even for root), process, IPC and host-name
//     namespaces, a new terminal session (so it cannot push keys into the caller's
//     terminal), and a network namespace of its own with no way out unless the plan gives
//     it the network;
//   - when the plan says so, is the first process of its process namespace, so that
//     everything it started ends when it ends (otherwise bwrap's own first process stays
//     while anything the program started lives).
// When bwrap is missing or cannot make its namespaces here, nothing runs: the start is
// refused (ERROR_ACCESS_DENIED) with the reason, unless the machine's settings run its
// programs unconfined (machine_profile.h, [programs]).

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvane::emulated {

struct SandboxPlan {
  std::filesystem::path machine;                // absolute; the one writable folder of the host
  std::filesystem::path workingFolder;          // absolute, inside the machine folder
  bool network = false;                         // share the host's network (127.0.0.1 included)
  bool newSession = true;                       // false keeps the caller's terminal session
  bool dieWithParent = false;                   // killing bwrap (or its caller) ends it all
  std::vector<std::filesystem::path> readOnly;  // absolute host paths seen read-only
  std::vector<std::filesystem::path> writable;  // absolute host paths seen writable
  // true: the machine folder is seen read-only, so nothing new can be made in it; only
  // `writable` entries inside it are written.
  bool machineReadOnly = false;
  // Absolute paths inside the machine folder seen read-only although it is writable (bound
  // after it and after `writable`); missing ones are left out.
  std::vector<std::filesystem::path> protectedPaths;
  // Host files or folders seen read-only at another absolute path inside: {host, inside}.
  std::vector<std::pair<std::filesystem::path, std::filesystem::path>> mounted;
  // When set, the program's whole environment; otherwise it inherits bwrap's.
  std::optional<std::vector<std::pair<std::string, std::string>>> environment;
  // true: the program is the first process of its namespace (bwrap --as-pid-1) and takes
  // everything it started along when it ends. From outside it then receives only the
  // signals it handles (and SIGKILL), as any first process of a namespace.
  bool endsItsDescendants = false;
};

// bwrap's arguments, without the program name, that run `command` (argv, the program
// first; looked up on PATH inside the sandbox when it has no folder) under `plan`.
std::vector<std::string> SandboxArguments(const SandboxPlan& plan,
                                          const std::vector<std::string>& command);

// The files a sanitizer's options name (the value of each "suppressions=" in an
// ASAN_OPTIONS-style text, parts split by ':'): programs of a sanitized build inherit the
// options, and their runtime ends them when such a file cannot be read.
std::vector<std::filesystem::path> SanitizerOptionFiles(std::string_view options);

// The host path of bwrap (found on PATH); empty when it is not installed.
std::filesystem::path FindBubblewrap();

// Runs `true` in a sandbox made like `plan`'s; empty when that worked, else why not (bwrap
// missing, or its own message, such as namespaces that cannot be created here).
std::string ProbeSandbox(const SandboxPlan& plan);

}  // namespace corvane::emulated
