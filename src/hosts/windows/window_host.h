#pragma once

// The window host: the program's own dialog window on Windows, with the page in Internet
// Explorer's browser control. The default host there; the terminal and browser hosts stay
// behind --ui for support and automation.

#include <ostream>

#include "hosts/common/options.h"

namespace corvane::windows {

// The program's status when the window could not run the page.
// The browser control (Internet Explorer's HTML engine) is missing: the user was told so.
inline constexpr int kNoBrowserEngineStatus = 4;
// The window itself could not be made (OLE refused, the dialog resource unusable).
inline constexpr int kWindowFailedStatus = 5;

// Whether this build has the window host (a build without it links a stand-in that says no).
bool WindowHostBuilt();

// Runs the dialog in its window until the user closes it; 0 then, otherwise one of the
// statuses above. `transcript` may be null.
int RunWindowHost(const hosts::HostOptions& options, std::ostream* transcript);

}  // namespace corvane::windows
