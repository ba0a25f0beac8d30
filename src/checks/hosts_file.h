#pragma once

// The hosts file check and repair (item 3). CheckHostsFile itself is declared with the other
// environment checks in "checks/environment_checks.h".
//
// Decisions:
// - A missing file maps nothing: the check passes and a repair writes nothing.
// - A file that exists but cannot be read passes the check (there is nothing to see) but
//   fails a repair, which then leaves it alone.
// - A repair writes the kept lines to a new file beside the old one and moves it over the
//   old one only when it is complete, so an interrupted or failed write never leaves half a
//   file; a read-only or locked file makes the move, and so the repair, fail. The new file
//   takes the old one's hidden, system and archive attributes.
// - The lines written back are the file's own, each ended by CR LF; nothing is added. When
//   that is byte for byte what the file holds already, nothing is written.

#include <cstdint>
#include <string>

#include "config/check_config.h"

namespace corvane {

// "%windir%\system32\drivers\etc\hosts" expanded.
std::string HostsFilePath();

// What a repair did, for the callers that want more than the flag.
enum class HostsRepairOutcome : std::uint8_t {
  kRewritten,   // mapping lines were taken out or line breaks made CR LF
  kUnchanged,   // nothing to write (no file, or already as it would be written)
  kUnreadable,  // the file exists but could not be read: left alone
  kWriteFailed  // the new content could not replace the file: left as it was
};

// The hosts file without the lines that map any of the configured names ("host" section).
HostsRepairOutcome RepairHostsFile(const CheckConfig& config);

}  // namespace corvane
