#pragma once

// The files this process holds pinned (FileSystem::pin) on the emulated PC. Windows keeps a
// pinned file from changing through its sharing modes; the host cannot stop another process
// (a confined installer, any program of the user) from writing a file of drive_c, so a pin
// takes a private copy instead, in a folder of this process's own (mode 0700, outside the
// machine folder and so outside every confinement), and the emulated file and process
// services read and run that copy for the pinned path until the pin ends.
//
// Decisions:
//   - A copy, not a hard link: a link shares the bytes that a writer of the original changes.
//   - A path pinned again while pinned gets the same bytes (copied from the first pin's
//     copy), as on Windows, where the file could not change in between.
//   - Keys are ResolvedPath::key, so every spelling of a path finds its pin.

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace corvane::emulated {

class PinnedFiles {
 public:
  PinnedFiles() = default;
  PinnedFiles(const PinnedFiles&) = delete;
  PinnedFiles& operator=(const PinnedFiles&) = delete;
  PinnedFiles(PinnedFiles&&) = delete;
  PinnedFiles& operator=(PinnedFiles&&) = delete;
  // Removes the private folder (pins must have ended before).
  ~PinnedFiles();

  // Copies hostFile (never through a link) to a new private file recorded under key, and
  // returns its path in `copy`; a Windows error when it cannot be read or copied.
  [[nodiscard]] std::uint32_t pin(const std::string& key, const std::filesystem::path& hostFile,
                                  std::filesystem::path& copy);
  // Ends the pin that pin() returned `copy` for, and deletes the copy.
  void release(const std::string& key, const std::filesystem::path& copy);
  // The copy that stands for key while it is pinned.
  [[nodiscard]] std::optional<std::filesystem::path> copyOf(const std::string& key) const;
  // Whether a file below the folder `key` is pinned: Windows does not rename or delete a
  // folder that holds an open file.
  [[nodiscard]] bool anyBelow(const std::string& key) const;

 private:
  mutable std::mutex mutex_;
  std::multimap<std::string, std::filesystem::path> pins_;  // guarded by mutex_
  std::filesystem::path folder_;                            // made on first use; mutex_
  std::uint64_t next_ = 0;                                  // mutex_
};

}  // namespace corvane::emulated
