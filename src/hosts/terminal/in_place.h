#pragma once

// The terminal host for a person at a terminal: the page drawn in place (curses, wide
// characters), its buttons on keys, prompts asked over the page, "q" closing the dialog.

#include <ostream>

#include "hosts/common/options.h"

namespace corvane::terminal {

// Whether this build can draw the page in place (a system with curses).
bool InPlaceBuilt();

// Runs the dialog with the page drawn in place until it is closed ("q", Ctrl-C, a closing
// signal). Standard input and output must be a terminal. The terminal is restored on every
// way out, a crash signal included. `transcript` may be null. False, with nothing run, when
// the terminal cannot be drawn on (a TERM without a terminfo entry).
bool RunInPlace(const hosts::HostOptions& options, std::ostream* transcript);

}  // namespace corvane::terminal
