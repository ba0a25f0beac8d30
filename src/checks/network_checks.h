#pragma once

// The network facts of the page: the connection (item 5), name resolution (item 6) and the
// e-banking service (item 7).

#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "config/check_config.h"

namespace corvane {

// Whether the PC has a network connection (InternetGetConnectedState). The one place the
// dialog asks.
bool IsInternetConnected();

// The bank's host names of the "dns" section, in ascending byte order of the names, each
// resolved with ResolveHost: every resolved address must be one the section allows for that
// name, and at least one must resolve. Sets dnsOk; for each allowed address met, dnsLineName
// becomes the `name` of the last entry (in document order) carrying that address and a name.
// dnsLineName is never cleared. Runs on the dialog thread; blocks while names resolve.
bool CheckNameResolution(CheckConfig& config);

// IPv4 addresses of a host as dotted text, in the resolver's order; empty when nothing
// resolves. Text with an ASCII letter is a name (gethostbyname); other text is an address
// in inet_addr's forms ("10.1", octal parts) looked up in reverse (gethostbyaddr), and
// "255.255.255.255" or text inet_addr refuses gives the empty list.
std::vector<std::string> ResolveHost(std::string_view host);

// inet_addr: the address in network order as a.b.c.d parts, or nothing for INADDR_NONE.
// Parts are decimal, octal (leading 0) or hexadecimal (0x); the last part fills the bytes
// left ("10.1" is 10.0.0.1).
std::optional<std::string> ParseInetAddress(std::string_view text);

// The service probe, run on a worker: sets serviceOk, then serviceProbeDone. Returns 1 when
// every service URL answered, else 0. Reads only the "service" section, which must not
// change while it runs. serviceProbeDone is written with release order after serviceOk:
// a reader that sees it true through ServiceProbeDone sees the final serviceOk. A stop
// requested on `stop` ends the request under way within about a second (the probe then
// fails), so a closing window does not wait for the network's time-outs.
int ProbeServices(CheckConfig& config, std::stop_token stop = {});

// serviceProbeDone read with acquire order, the counterpart of ProbeServices' last write.
bool ServiceProbeDone(const CheckConfig& config);

// Whether every URL opens: one Internet session (user agent "Mozilla/5.0", the system's
// proxy settings), InternetOpenUrl per URL in order with INTERNET_FLAG_RELOAD; the first
// failure ends it. No data is read and any HTTP status counts as an answer. An empty list
// gives true.
bool ProbeUrls(const std::vector<std::string>& urls, const std::stop_token& stop = {});

}  // namespace corvane
