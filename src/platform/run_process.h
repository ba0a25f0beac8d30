#pragma once

// The one way the system starts an installer, the registration tool or its own new
// executable: through the current platform's process service.

#include <stop_token>
#include <string_view>

namespace corvane {

// Starts commandLine (read as Processes::run reads it) and, with wait, waits for the
// program to end. True when the program started; its exit code is not looked at, so an
// installer that starts and then fails counts as run. The command line is not cut at any
// length.
bool runProcess(std::string_view commandLine, bool wait);

// As runProcess with wait, except that a stop requested on `stop` ends the wait at once and
// leaves the program running.
bool runProcess(std::string_view commandLine, const std::stop_token& stop);

}  // namespace corvane
