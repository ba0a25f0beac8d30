#pragma once

// Program files that processes of the emulated PC run from. Windows does not let a running
// program's file be deleted or overwritten (it may be renamed, and the running image follows
// the rename); the emulated file service asks IsRunningImage before it deletes, overwrites or
// replaces a file. A running image is a record in locks/images/ of the machine folder naming
// the file (device and inode, so a rename keeps it), held with an exclusive flock() for the
// life of the process: a process that ends in any way lets its records go.

#include <filesystem>
#include <memory>

#include "platform/emulated/machine_folder.h"

namespace corvane::emulated {

class RunningImage {
 public:
  RunningImage(const RunningImage&) = delete;
  RunningImage& operator=(const RunningImage&) = delete;
  RunningImage(RunningImage&&) = delete;
  RunningImage& operator=(RunningImage&&) = delete;
  ~RunningImage();

  // Records hostFile as run by this process; nothing when it cannot be recorded.
  static std::unique_ptr<RunningImage> Start(const MachineFolder& folder,
                                             const std::filesystem::path& hostFile);

 private:
  RunningImage(int fd, std::filesystem::path record) : fd_(fd), record_(std::move(record)) {}
  int fd_;
  std::filesystem::path record_;
};

// True when a live process of the machine runs from hostFile (this one too).
bool IsRunningImage(const MachineFolder& folder, const std::filesystem::path& hostFile);

}  // namespace corvane::emulated
