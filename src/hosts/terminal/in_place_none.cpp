#include "hosts/terminal/in_place.h"

// Systems without curses (the Windows console) keep the line-drawn terminal host.
namespace corvane::terminal {

bool InPlaceBuilt() { return false; }

bool RunInPlace(const hosts::HostOptions& /*options*/, std::ostream* /*transcript*/) {
  return false;
}

}  // namespace corvane::terminal
