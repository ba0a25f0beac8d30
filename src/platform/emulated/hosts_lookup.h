#pragma once

// Name lookups in a hosts file, as Windows' resolver reads it before it asks a name server:
// on each line, whatever follows a "#" is a comment; the rest is split at blanks and tabs;
// the first field is an IPv4 address in dotted form and every further field a name for it.
// Names compare without regard to ASCII case. Lines whose first field is not an IPv4
// address (IPv6 lines, stray text) are passed over. Any bytes are accepted.

#include <string>
#include <string_view>
#include <vector>

namespace corvane::emulated {

// The addresses of every line that names `name`, in file order, each once.
std::vector<std::string> HostsAddressesOf(std::string_view text, std::string_view name);

// Whether a line maps some name to `address` (dotted IPv4), for a reverse lookup.
bool HostsNamesAddress(std::string_view text, std::string_view address);

}  // namespace corvane::emulated
