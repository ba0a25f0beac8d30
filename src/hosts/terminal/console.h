#pragma once

// What the terminal host needs to know about its console; one source file per system.

#include <cstdio>

namespace corvane::terminal {

// Whether `stream` is an interactive terminal (not a file or a pipe).
bool IsTerminal(std::FILE* stream);
// Whether the console shows ANSI escape codes as colours and cursor moves.
bool ConsoleShowsAnsi();

}  // namespace corvane::terminal
