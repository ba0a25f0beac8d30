// The hosts-file matcher and the emulated PC's hosts lookup on arbitrary bytes. The input's
// first line is the host name, the rest the file. The matcher must never crash or hang;
// the check finds a mapping exactly when the removal takes out a line, the removal leaves
// nothing the check finds, and a second removal changes nothing.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "checks/hosts_matcher.h"
#include "platform/emulated/hosts_lookup.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\n');
  const std::string_view name = input.substr(0, split == std::string_view::npos ? 0 : split);
  const std::string_view text =
      split == std::string_view::npos ? input : input.substr(split + 1);

  const std::vector<corvane::HostNamePattern> names{corvane::HostNamePattern(name)};
  const bool maps = corvane::HostsTextMapsAny(text, names);
  const corvane::HostsRemoval removal = corvane::RemoveHostsLines(text, names);
  if (maps != (removal.removed > 0)) std::abort();
  if (corvane::HostsTextMapsAny(removal.text, names)) std::abort();
  const corvane::HostsRemoval again = corvane::RemoveHostsLines(removal.text, names);
  if (again.removed != 0 || again.text != removal.text) std::abort();

  for (const std::string& address : corvane::emulated::HostsAddressesOf(text, name)) {
    if (!corvane::emulated::HostsNamesAddress(text, address)) std::abort();
  }
  return 0;
}
