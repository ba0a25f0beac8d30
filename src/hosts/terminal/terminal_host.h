#pragma once

// The terminal host: the dialog with its page drawn as text (--ui terminal) or not at all
// (--ui none), prompts asked on the terminal or answered by --answer.

#include <ostream>

#include "hosts/common/options.h"

namespace corvane::terminal {

// Runs the dialog until it is closed; `transcript` may be null.
void RunTerminalHost(const hosts::HostOptions& options, std::ostream* transcript);

}  // namespace corvane::terminal
