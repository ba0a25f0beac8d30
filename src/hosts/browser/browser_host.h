#pragma once

// The browser host's run of the dialog: the page served on 127.0.0.1 to a web browser.

#include <ostream>

#include "hosts/common/options.h"

namespace corvane::browser {

// Whether this build has the browser host (a build without it links a stand-in that says no).
bool BrowserHostBuilt();

// Serves the page, prints its URL (and opens it when there is a desktop) and runs the dialog
// until the page is gone or the session ends; `transcript` may be null.
void RunBrowserHost(const hosts::HostOptions& options, std::ostream* transcript);

}  // namespace corvane::browser
