// The browser host's stand-in for builds without it (Windows shows the page in its own
// browser control): --ui browser is refused before anything starts.

#include "hosts/browser/browser_host.h"

namespace corvane::browser {

bool BrowserHostBuilt() { return false; }

void RunBrowserHost(const hosts::HostOptions& /*options*/, std::ostream* /*transcript*/) {}

}  // namespace corvane::browser
