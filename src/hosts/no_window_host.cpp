// The window host's stand-in for builds without it (everything but Windows): --ui window is
// refused before anything starts.

#include "hosts/windows/window_host.h"

namespace corvane::windows {

bool WindowHostBuilt() { return false; }

int RunWindowHost(const hosts::HostOptions& /*options*/, std::ostream* /*transcript*/) {
  return kWindowFailedStatus;
}

}  // namespace corvane::windows
