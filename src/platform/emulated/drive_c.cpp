#include "platform/emulated/drive_c.h"

#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "platform/win_errors.h"
#include "platform/windows_path.h"

namespace corvane::emulated {
namespace {

namespace fs = std::filesystem;

// Longest name NTFS stores, in UTF-16 units.
constexpr std::size_t kMaxComponent = 255;

bool IsForbidden(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte < 0x20) return true;
  return std::string_view("<>:\"|?*").find(c) != std::string_view::npos;
}

// Splits a full or relative Windows path into the names below C:\, or returns the error.
std::uint32_t Normalize(std::string_view path, std::string_view currentDirectory,
                        std::vector<std::string>& names) {
  if (path.empty()) return win::kErrorPathNotFound;
  std::string combined;
  if (path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
    return win::kErrorPathNotFound;  // network and device paths: no such thing here
  }
  if (path.size() >= 2 && path[1] == ':') {
    if (path[0] != 'C' && path[0] != 'c') return win::kErrorPathNotFound;
    if (path.size() >= 3 && IsPathSeparator(path[2])) {
      combined = std::string(path.substr(2));
    } else {
      combined = PathJoin(currentDirectory, path.substr(2));  // "C:name": relative on C:
    }
  } else if (IsPathSeparator(path[0])) {
    combined = std::string(path);  // the root of the current drive, which is C:
  } else {
    combined = PathJoin(currentDirectory, path);
  }
  if (combined.size() >= 2 && combined[1] == ':') combined.erase(0, 2);

  names.clear();
  std::size_t i = 0;
  while (i <= combined.size()) {
    std::size_t end = i;
    while (end < combined.size() && !IsPathSeparator(combined[end])) ++end;
    std::string name = combined.substr(i, end - i);
    i = end + 1;
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      if (!names.empty()) names.pop_back();
      continue;
    }
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    if (name.empty()) continue;
    for (const char c : name) {
      if (IsForbidden(c)) return win::kErrorInvalidName;
    }
    names.push_back(std::move(name));
  }
  return win::kErrorSuccess;
}

std::string JoinFull(const std::vector<std::string>& names) {
  std::string full = "C:\\";
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) full.push_back('\\');
    full.append(names[i]);
  }
  return full;
}

// The entry of folder whose name matches `name`: the exact spelling if present, else the
// first case-insensitive match in name order, so the choice does not depend on the host.
std::optional<std::string> FindEntry(const fs::path& folder, const std::string& name) {
  std::error_code error;
  if (fs::symlink_status(folder / name, error).type() != fs::file_type::not_found && !error) {
    return name;
  }
  std::optional<std::string> best;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::string entry = it->path().filename().string();
    if (EqualsIgnoringCase(entry, name) && (!best || entry < *best)) best = std::move(entry);
  }
  return best;
}

}  // namespace

std::size_t Utf16Length(std::string_view text) {
  std::size_t units = 0;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte & 0xC0U) != 0x80U) ++units;  // a lead byte starts a code point
    if ((byte & 0xF8U) == 0xF0U) ++units;  // four-byte sequences need a surrogate pair
  }
  return units;
}

DriveC::DriveC(fs::path hostRoot) : root_(std::move(hostRoot)) {}

std::string FullWindowsPath(std::string_view path, std::string_view currentDirectory) {
  std::vector<std::string> names;
  if (Normalize(path, currentDirectory, names) != win::kErrorSuccess) return {};
  return JoinFull(names);
}

std::uint32_t DriveC::resolve(std::string_view path, std::string_view currentDirectory,
                              ResolvedPath& resolved) const {
  std::vector<std::string> names;
  if (const std::uint32_t error = Normalize(path, currentDirectory, names)) return error;
  ResolvedPath out;
  out.windows = JoinFull(names);
  // MAX_PATH counts the terminating zero.
  if (Utf16Length(out.windows) >= win::kMaxPath) return win::kErrorPathNotFound;
  for (const std::string& name : names) {
    if (Utf16Length(name) > kMaxComponent) return win::kErrorFilenameExcedRange;
  }

  fs::path host = root_;
  std::string key;
  std::error_code error;
  // Host symbolic links are never followed: one placed in the drive (or the drive itself
  // made one) would let reads and writes land outside the machine folder.
  if (fs::symlink_status(root_, error).type() == fs::file_type::symlink) {
    return win::kErrorAccessDenied;
  }
  out.parentExists = true;
  out.exists = true;
  out.isDirectory = true;  // C:\ itself
  for (std::size_t i = 0; i < names.size(); ++i) {
    const bool last = i + 1 == names.size();
    std::optional<std::string> entry;
    if (out.exists) {
      if (!out.isDirectory) return win::kErrorPathNotFound;  // a file on the way
      entry = FindEntry(host, names[i]);
    }
    if (!entry) {
      if (!last) out.parentExists = false;
      out.exists = false;
      out.isDirectory = false;
      entry = names[i];
    }
    host /= *entry;
    if (!key.empty()) key.push_back('/');
    key.append(*entry);
    if (out.exists) {
      const fs::file_type type = fs::symlink_status(host, error).type();
      if (type == fs::file_type::symlink) return win::kErrorAccessDenied;
      out.isDirectory = type == fs::file_type::directory;
    }
  }
  if (!out.parentExists) return win::kErrorPathNotFound;
  out.host = std::move(host);
  out.key = std::move(key);
  resolved = std::move(out);
  return win::kErrorSuccess;
}

}  // namespace corvane::emulated
