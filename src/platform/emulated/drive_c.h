#pragma once

// The emulated PC's C: drive: a host folder (drive_c/ of the machine folder) in which
// Windows paths are resolved as Windows resolves them: C:\ or relative to the current
// directory, either separator, "." and ".." collapsed, trailing dots and blanks of a name
// dropped, and each name matched against the folder's entries without regard to case.
// Names that do not exist yet keep the caller's spelling. Host symbolic links are refused,
// never followed, so nothing resolved here lies outside the drive's folder.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace corvane::emulated {

struct ResolvedPath {
  std::string windows;         // the full Windows path, "C:\..." with the caller's spelling
  std::filesystem::path host;  // where it is (or would be) on the host
  std::string key;             // host path below the drive's root, '/'-separated; "" for C:\ itself
  bool exists = false;
  bool isDirectory = false;
  bool parentExists = false;  // the folder that holds it exists
};

class DriveC {
 public:
  explicit DriveC(std::filesystem::path hostRoot);

  [[nodiscard]] const std::filesystem::path& hostRoot() const { return root_; }

  // Resolves path against currentDirectory (a full Windows path). Returns 0 or the Windows
  // error for a path that cannot name anything on this drive: ERROR_PATH_NOT_FOUND for
  // another drive, a network path, a full path of MAX_PATH units or more, or a folder on
  // the way that is missing or a file; ERROR_INVALID_NAME for characters Windows forbids;
  // ERROR_ACCESS_DENIED when the path meets a host symbolic link (any name on the way, the
  // name itself, or the drive's folder): links are never followed.
  std::uint32_t resolve(std::string_view path, std::string_view currentDirectory,
                        ResolvedPath& resolved) const;

 private:
  std::filesystem::path root_;
};

// The full form of a Windows path on C: ("C:\a\b"), or "" when it is not one that
// resolve() accepts. Used where a path is needed before it is looked up.
std::string FullWindowsPath(std::string_view path, std::string_view currentDirectory);

// UTF-16 length of UTF-8 text: Windows' path limits count UTF-16 units.
std::size_t Utf16Length(std::string_view text);

}  // namespace corvane::emulated
