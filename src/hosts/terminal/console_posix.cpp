#include <unistd.h>

#include "hosts/terminal/console.h"

namespace corvane::terminal {

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) != 0; }

bool ConsoleShowsAnsi() { return IsTerminal(stdout); }

}  // namespace corvane::terminal
