#pragma once

// Writing a file so that readers only ever see the old content or the whole new one: the
// bytes go to a new file beside the target, which replaces the target in one rename when
// everything is written. Until then the target is untouched; a replacement that is never
// committed is deleted.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace corvane {

class ReplacementFile {
 public:
  explicit ReplacementFile(FileSystem& files) : files_(files) {}
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;
  ReplacementFile(ReplacementFile&&) = delete;
  ReplacementFile& operator=(ReplacementFile&&) = delete;
  // Deletes the new file unless it was committed.
  ~ReplacementFile();

  // Creates the new file, with a unique name in target's folder (same volume, so the final
  // rename cannot turn into a copy). Returns the Windows error; the folder must exist.
  std::uint32_t create(std::string_view target);
  // The open new file; only between a successful create() and commit().
  [[nodiscard]] File& file() { return *file_; }
  // Closes the new file and moves it over the target. On failure the new file is deleted
  // and the target stays as it was.
  std::uint32_t commit();

  // The new file's path (for tests): empty before create().
  [[nodiscard]] const std::string& path() const { return path_; }

 private:
  void discard();

  FileSystem& files_;
  std::string target_;
  std::string path_;
  std::unique_ptr<File> file_;
};

// Whether `name` (a file name alone) is of the exact form create() gives the new file:
// "~cv", 8 upper-case hexadecimal digits, ".tmp".
[[nodiscard]] bool IsReplacementName(std::string_view name);

// Deletes the files directly in `folder` whose names IsReplacementName accepts: the new files
// of replacements that a killed process never committed nor deleted. Nothing else in the
// folder is touched (folders of such a name neither). Only for a moment when no running
// instance can be writing one there. Returns how many were deleted.
std::size_t RemoveAbandonedReplacements(FileSystem& files, std::string_view folder);

}  // namespace corvane
