#pragma once

// What the `corvane` program does differently on each system; one source file per system.

#include <memory>
#include <string>
#include <vector>

#include "hosts/common/options.h"
#include "platform/platform.h"

namespace corvane::program {

// Gives the standard streams somewhere to go and sets the console up for UTF-8 output.
// On Windows the program is a window program, so the customer never sees a console:
// streams the caller redirected (a file, a pipe: scripts, tests) are used as they are, the
// others are joined to the console of the process that started the program when it has one
// (a command prompt), and `terminalPage` (the terminal host will show the page) with no
// console to join gets a console of its own. Elsewhere nothing to do.
void PrepareConsole(bool terminalPage);

// The command line, the program name first, split as start-up expects it.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Installs the platform the options name into `scope` (nothing to install on Windows, whose
// platform is the system itself). False, with the reason on stderr, when this build cannot
// run with them or (emulated PC) the machine folder cannot be read whole: nothing then runs
// and nothing is written to the machine.
bool InstallPlatform(const hosts::HostOptions& options, std::unique_ptr<ScopedPlatform>& scope);

// How the program ends when another instance holds the single-instance lock: silently with
// 0 on Windows, as the program always has; on the emulated PC with a line on stderr and
// kAnotherInstanceStatus, so that a person or script sees why nothing happened.
int EndForAnotherInstance(const hosts::HostOptions& options);

inline constexpr int kAnotherInstanceStatus = 3;

}  // namespace corvane::program
