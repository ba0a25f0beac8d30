#pragma once

// The instance lock on Linux: an exclusive flock() on <dir>/<name>.lock. The kernel drops
// the lock when the holder closes the file or ends in any way; children the holder starts do
// not inherit it (close-on-exec). Like a session's named mutex it is per user: the default
// folder is $XDG_RUNTIME_DIR/corvane, or /tmp/corvane-<uid> where that is unset, created
// private (0700) and refused if it belongs to someone else or is a symbolic link.

#include <filesystem>

#include "platform/instance_lock.h"

namespace corvane::emulated {

class EmulatedInstanceLock final : public InstanceLock {
 public:
  explicit EmulatedInstanceLock(std::filesystem::path folder = DefaultFolder());

  std::uint32_t Acquire(std::string_view name, InstanceHold& hold) override;

  static std::filesystem::path DefaultFolder();

 private:
  std::filesystem::path folder_;
};

}  // namespace corvane::emulated
