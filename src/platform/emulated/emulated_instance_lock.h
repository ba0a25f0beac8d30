#pragma once

// The instance lock on Linux: an exclusive flock() on <dir>/<name>.lock. The kernel drops
// the lock when the holder closes the file or ends in any way; children the holder starts do
// not inherit it (close-on-exec). A named mutex belongs to one Windows PC, so the emulated
// PC keeps its locks in its machine folder (MachineFolder::lockDir()): two machines are two
// PCs and run at once, the same machine twice is refused. The folder is created private
// (0700) and refused if it belongs to someone else, others can write to it, or it is a
// symbolic link; the lock file is never opened through a link either.

#include <filesystem>

#include "platform/instance_lock.h"

namespace corvane::emulated {

class EmulatedInstanceLock final : public InstanceLock {
 public:
  explicit EmulatedInstanceLock(std::filesystem::path folder);

  std::uint32_t Acquire(std::string_view name, InstanceHold& hold) override;

 private:
  std::filesystem::path folder_;
};

}  // namespace corvane::emulated
