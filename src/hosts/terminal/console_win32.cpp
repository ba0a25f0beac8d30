#include <io.h>

#include "hosts/terminal/console.h"

namespace corvane::terminal {

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

// Consoles before Windows 10 show escape codes as text.
bool ConsoleShowsAnsi() { return false; }

}  // namespace corvane::terminal
