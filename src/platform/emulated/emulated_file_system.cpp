#include "platform/emulated/emulated_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <map>
#include <optional>
#include <sstream>
#include <string_view>
#include <system_error>
#include <utility>

#include "platform/emulated/machine_files.h"
#include "platform/emulated/running_images.h"
#include "platform/emulated/unique_fd.h"
#include "platform/environment.h"
#include "platform/pe_version.h"
#include "platform/win_errors.h"
#include "platform/windows_path.h"

namespace corvane::emulated {
namespace {

namespace fs = std::filesystem;

// The bits a file keeps; FILE_ATTRIBUTE_NORMAL is their absence.
constexpr std::uint32_t kStoredBits = win::kFileAttributeReadOnly | win::kFileAttributeHidden |
                                      win::kFileAttributeSystem | win::kFileAttributeArchive;
constexpr std::uint32_t kHiddenOrSystem = win::kFileAttributeHidden | win::kFileAttributeSystem;
// CreateDirectory leaves room for an 8.3 file name in the new folder.
constexpr std::size_t kMaxDirectoryPath = win::kMaxPath - 12;
// Version resources are read from the first part of a file only.
constexpr std::uintmax_t kMaxVersionScan = std::uintmax_t{256} * 1024 * 1024;

std::uint32_t ErrorFromErrno(int error) {
  switch (error) {
    case ENOENT:
      return win::kErrorFileNotFound;
    case ENOTDIR:
      return win::kErrorPathNotFound;
    case EEXIST:
      return win::kErrorFileExists;
    case ENAMETOOLONG:
      return win::kErrorFilenameExcedRange;
    case ENOSPC:
      return win::kErrorDiskFull;
    case ENOMEM:
      return win::kErrorNotEnoughMemory;
    case ENOTEMPTY:
      return win::kErrorDirNotEmpty;
    default:
      return win::kErrorAccessDenied;  // EACCES, EPERM, EISDIR, EROFS, EBUSY, ...
  }
}

std::uint32_t ErrorFrom(const std::error_code& error) { return ErrorFromErrno(error.value()); }

// Missing: the file, or the folder meant to hold it.
std::uint32_t MissingError(const ResolvedPath& resolved) {
  return resolved.parentExists ? win::kErrorFileNotFound : win::kErrorPathNotFound;
}

class HostFile final : public File {
 public:
  HostFile(int fd, bool canRead, bool canWrite) : fd_(fd), canRead_(canRead), canWrite_(canWrite) {}

  std::uint32_t read(std::span<std::byte> buffer, std::size_t& bytesRead) override {
    if (!canRead_) return win::kErrorAccessDenied;
    for (;;) {
      const ssize_t got = ::read(fd_.get(), buffer.data(), buffer.size());
      if (got >= 0) {
        bytesRead = static_cast<std::size_t>(got);
        return win::kErrorSuccess;
      }
      if (errno != EINTR) return ErrorFromErrno(errno);
    }
  }

  std::uint32_t write(std::span<const std::byte> data) override {
    if (!canWrite_) return win::kErrorAccessDenied;
    while (!data.empty()) {
      const ssize_t put = ::write(fd_.get(), data.data(), data.size());
      if (put < 0) {
        if (errno == EINTR) continue;
        return ErrorFromErrno(errno);
      }
      data = data.subspan(static_cast<std::size_t>(put));
    }
    return win::kErrorSuccess;
  }

  std::uint32_t seek(std::uint64_t offset) override {
    if (offset > static_cast<std::uint64_t>(INT64_MAX) ||
        ::lseek(fd_.get(), static_cast<off_t>(offset), SEEK_SET) < 0) {
      return win::kErrorInvalidParameter;
    }
    return win::kErrorSuccess;
  }

  std::uint32_t size(std::uint64_t& bytes) override {
    struct stat info {};
    if (::fstat(fd_.get(), &info) != 0) return ErrorFromErrno(errno);
    bytes = static_cast<std::uint64_t>(info.st_size);
    return win::kErrorSuccess;
  }

 private:
  UniqueFd fd_;
  bool canRead_;
  bool canWrite_;
};


// Writes a file of the machine folder whole: a temporary file beside it, then a rename over
// it. A link planted as the file or as the temporary file is refused, never written through.
bool WriteAtomically(const fs::path& path, const std::string& content) {
  return WriteMachineFileAtomically(path.parent_path(), path.filename(), content) ==
         MachineFileStatus::kOk;
}

// The text of a sidecar file beside drive_c; empty when it is missing or is a link.
std::string ReadSidecar(const fs::path& path) {
  std::string text;
  (void)ReadMachineFile(path.parent_path(), path.filename(), text, kMaxMachineText);
  return text;
}

// Copies the regular file `from` to the new file `to` without following a link at either
// end; 0 or the errno.
int CopyNoFollow(const fs::path& from, const fs::path& to) {
  const UniqueFd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (in.get() < 0) return errno;
  struct stat info {};
  if (::fstat(in.get(), &info) != 0) return errno;
  if (!S_ISREG(info.st_mode)) return EACCES;
  UniqueFd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
  if (out.get() < 0) return errno;
  std::array<char, std::size_t{64} * 1024> block{};
  for (;;) {
    const ssize_t got = ::read(in.get(), block.data(), block.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno;
    if (got == 0) break;
    if (!WriteAll(out.get(), std::string_view(block.data(), static_cast<std::size_t>(got)))) {
      return errno != 0 ? errno : EIO;
    }
  }
  return out.Close() ? 0 : errno;
}

// Eight hex digits, as the sidecar files write numbers.
std::string Hex8(std::uint32_t value) {
  constexpr std::string_view kDigits = "0123456789abcdef";
  std::string out(8, '0');
  for (int i = 7; i >= 0; --i, value >>= 4U)
    out[static_cast<std::size_t>(i)] = kDigits[value & 0xFU];
  return out;
}

std::optional<std::uint32_t> ParseHex8(std::string_view text) {
  if (text.size() != 8) return std::nullopt;
  std::uint32_t value = 0;
  for (const char c : text) {
    const std::size_t digit = std::string_view("0123456789abcdef").find(c);
    if (digit == std::string_view::npos) return std::nullopt;
    value = (value << 4U) | static_cast<std::uint32_t>(digit);
  }
  return value;
}

using AttributeMap = std::map<std::string, std::uint32_t>;

AttributeMap LoadAttributes(const fs::path& file) {
  AttributeMap map;
  std::istringstream in(ReadSidecar(file));
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() < 10 || line[8] != ' ') continue;
    const std::optional<std::uint32_t> value = ParseHex8(std::string_view(line).substr(0, 8));
    if (!value) continue;
    map[line.substr(9)] = *value & kStoredBits;
  }
  return map;
}

bool SaveAttributes(const fs::path& file, const AttributeMap& map) {
  std::string content;
  for (const auto& [key, value] : map) {
    content.append(Hex8(value)).append(" ").append(key).push_back('\n');
  }
  return WriteAtomically(file, content);
}

std::vector<PendingMove> LoadPending(const fs::path& file) {
  std::vector<PendingMove> moves;
  std::istringstream in(ReadSidecar(file));
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t first = line.find('\t');
    const std::size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
    if (second == std::string::npos) continue;
    const std::optional<std::uint32_t> flags = ParseHex8(std::string_view(line).substr(0, first));
    if (!flags) continue;
    PendingMove move;
    move.flags = *flags;
    move.from = line.substr(first + 1, second - first - 1);
    move.to = line.substr(second + 1);
    moves.push_back(std::move(move));
  }
  return moves;
}

bool IsUnder(const std::string& key, const std::string& folderKey) {
  return key.size() > folderKey.size() && key.compare(0, folderKey.size(), folderKey) == 0 &&
         key[folderKey.size()] == '/';
}

}  // namespace

EmulatedFileSystem::EmulatedFileSystem(const MachineFolder& folder, const Environment& environment)
    : folder_(folder), environment_(environment), drive_(folder.driveC()) {
  std::error_code error;
  if (!fs::exists(folder_.driveC(), error)) createMachineSkeleton();
}

void EmulatedFileSystem::createStandardFolders() {
  const std::vector<std::string> folders = {
      R"(C:\Windows\System32\drivers\etc)",
      R"(C:\Windows\System)",
      R"(C:\Windows\SysWOW64)",
      R"(C:\Program Files\Common Files)",
      R"(C:\ProgramData)",
      R"(C:\Users\Public)",
      environment_.variable("ProgramFiles").value_or(R"(C:\Program Files)"),
      environment_.variable("APPDATA").value_or(R"(C:\Users\User\AppData\Roaming)"),
      environment_.tempFolder(),
      std::string(PathParent(environment_.modulePath())),
  };
  for (const std::string& path : folders) {
    if (!exists(path)) createDirectories(path);
  }
}

void EmulatedFileSystem::createMachineSkeleton() {
  std::error_code error;
  fs::create_directories(folder_.driveC(), error);
  createStandardFolders();
  // The text of the hosts file a new Windows 7 installation has: comments, the localhost
  // lines among them.
  writeFile(R"(C:\Windows\System32\drivers\etc\hosts)",
            "# Copyright (c) 1993-2009 Microsoft Corp.\r\n"
            "#\r\n"
            "# This is a sample HOSTS file used by Microsoft TCP/IP for Windows.\r\n"
            "#\r\n"
            "# This file contains the mappings of IP addresses to host names. Each\r\n"
            "# entry should be kept on an individual line. The IP address should\r\n"
            "# be placed in the first column followed by the corresponding host name.\r\n"
            "# The IP address and the host name should be separated by at least one\r\n"
            "# space.\r\n"
            "#\r\n"
            "# Additionally, comments (such as these) may be inserted on individual\r\n"
            "# lines or following the machine name denoted by a '#' symbol.\r\n"
            "#\r\n"
            "# For example:\r\n"
            "#\r\n"
            "#      102.54.94.97     rhino.acme.com          # source server\r\n"
            "#       38.25.63.10     x.acme.com              # x client host\r\n"
            "\r\n"
            "# localhost name resolution is handled within DNS itself.\r\n"
            "#\t127.0.0.1       localhost\r\n"
            "#\t::1             localhost\r\n");
}

std::filesystem::path EmulatedFileSystem::hostPath(std::string_view path) const {
  ResolvedPath resolved;
  if (resolve(path, resolved) != win::kErrorSuccess) return {};
  return resolved.host;
}

std::uint32_t EmulatedFileSystem::resolve(std::string_view path, ResolvedPath& resolved) const {
  return drive_.resolve(path, environment_.currentDirectory(), resolved);
}

std::uint32_t EmulatedFileSystem::storedAttributes(const ResolvedPath& resolved) const {
  const AttributeMap map = LoadAttributes(folder_.root() / "drive_c.attributes");
  const auto it = map.find(resolved.key);
  if (resolved.isDirectory) {
    return (it == map.end() ? 0 : it->second) | win::kFileAttributeDirectory;
  }
  if (it == map.end()) return win::kFileAttributeArchive;
  return it->second == 0 ? win::kFileAttributeNormal : it->second;
}

void EmulatedFileSystem::storeAttributes(const std::string& key, std::uint32_t attributes) {
  const fs::path file = folder_.root() / "drive_c.attributes";
  AttributeMap map = LoadAttributes(file);
  const std::uint32_t bits = attributes & kStoredBits;
  if (bits == win::kFileAttributeArchive) {
    if (map.erase(key) == 0) return;  // a plain file needs no line
  } else {
    const auto it = map.find(key);
    if (it != map.end() && it->second == bits) return;
    map[key] = bits;
  }
  SaveAttributes(file, map);
}

void EmulatedFileSystem::forgetAttributes(const std::string& key) {
  const fs::path file = folder_.root() / "drive_c.attributes";
  AttributeMap map = LoadAttributes(file);
  const std::size_t before = map.size();
  std::erase_if(map,
                [&](const auto& entry) { return entry.first == key || IsUnder(entry.first, key); });
  if (map.size() != before) SaveAttributes(file, map);
}

void EmulatedFileSystem::renameAttributes(const std::string& fromKey, const std::string& toKey) {
  forgetAttributes(toKey);  // whatever the target replaced
  const fs::path file = folder_.root() / "drive_c.attributes";
  AttributeMap map = LoadAttributes(file);
  AttributeMap moved;
  for (auto it = map.begin(); it != map.end();) {
    if (it->first == fromKey || IsUnder(it->first, fromKey)) {
      moved[toKey + it->first.substr(fromKey.size())] = it->second;
      it = map.erase(it);
    } else {
      ++it;
    }
  }
  if (moved.empty()) return;
  map.merge(moved);
  SaveAttributes(file, map);
}

bool EmulatedFileSystem::exists(std::string_view path) {
  ResolvedPath resolved;
  return resolve(path, resolved) == win::kErrorSuccess && resolved.exists;
}

std::uint32_t EmulatedFileSystem::open(std::string_view path, FileAccess access,
                                       FileCreation creation, std::uint32_t attributes,
                                       std::unique_ptr<File>& file) {
  const std::lock_guard lock(mutex_);
  ResolvedPath resolved;
  if (const std::uint32_t error = resolve(path, resolved)) return error;
  if (resolved.isDirectory) return win::kErrorAccessDenied;

  const bool canRead = access != FileAccess::kWrite;
  const bool canWrite = access != FileAccess::kRead;
  const std::uint32_t existing = resolved.exists ? storedAttributes(resolved) : 0;
  const bool readOnly = (existing & win::kFileAttributeReadOnly) != 0;
  // Overwriting keeps hidden and system only when the caller asks for them again.
  const bool hiddenMismatch = (existing & kHiddenOrSystem & ~attributes) != 0;

  bool create = false;
  bool truncate = false;
  switch (creation) {
    case FileCreation::kCreateNew:
      if (resolved.exists) return win::kErrorFileExists;
      create = true;
      break;
    case FileCreation::kCreateAlways:
      create = !resolved.exists;
      truncate = resolved.exists;
      break;
    case FileCreation::kOpenExisting:
      if (!resolved.exists) return win::kErrorFileNotFound;
      break;
    case FileCreation::kOpenAlways:
      create = !resolved.exists;
      break;
    case FileCreation::kTruncateExisting:
      if (!canWrite) return win::kErrorInvalidParameter;
      if (!resolved.exists) return win::kErrorFileNotFound;
      truncate = true;
      break;
  }
  if (resolved.exists && (canWrite || truncate) && readOnly) return win::kErrorAccessDenied;
  // A running program's file is mapped without write sharing.
  if (resolved.exists && (canWrite || truncate) && IsRunningImage(folder_, resolved.host)) {
    return win::kErrorSharingViolation;
  }
  if (truncate && hiddenMismatch) return win::kErrorAccessDenied;
  // A pinned file is open without write sharing; readers get the pinned bytes.
  const bool pinned = resolved.exists && isPinned(resolved);
  if (pinned && (canWrite || truncate)) return win::kErrorSharingViolation;

  int flags = O_CLOEXEC;
  flags |= canRead && canWrite ? O_RDWR : (canWrite ? O_WRONLY : O_RDONLY);
  if (create) flags |= O_CREAT | O_EXCL;
  if (truncate) flags |= O_TRUNC;
  if (truncate && !canWrite) flags = (flags & ~O_ACCMODE) | O_RDWR;  // truncating needs write
  // The path was resolved without links; O_NOFOLLOW keeps a link put in its place since
  // from being followed.
  flags |= O_NOFOLLOW;
  const int fd =
      ::open(pinned ? readablePath(resolved).c_str() : resolved.host.c_str(), flags, 0644);
  if (fd < 0) return ErrorFromErrno(errno);
  file = std::make_unique<HostFile>(fd, canRead, canWrite);
  if (create || truncate) storeAttributes(resolved.key, attributes | win::kFileAttributeArchive);
  return win::kErrorSuccess;
}

std::uint32_t EmulatedFileSystem::attributes(std::string_view path, std::uint32_t& attributes) {
  const std::lock_guard lock(mutex_);
  ResolvedPath resolved;
  if (const std::uint32_t error = resolve(path, resolved)) return error;
  if (!resolved.exists) return MissingError(resolved);
  attributes = storedAttributes(resolved);
  return win::kErrorSuccess;
}

std::uint32_t EmulatedFileSystem::setAttributes(std::string_view path, std::uint32_t attributes) {
  const std::lock_guard lock(mutex_);
  ResolvedPath resolved;
  if (const std::uint32_t error = resolve(path, resolved)) return error;
  if (!resolved.exists) return MissingError(resolved);
  if (resolved.key.empty()) return win::kErrorAccessDenied;  // C:\ itself
  // Folders without bits have no line; a file set to NORMAL keeps a line of 0.
  const std::uint32_t bits = attributes & kStoredBits;
  const fs::path file = folder_.root() / "drive_c.attributes";
  AttributeMap map = LoadAttributes(file);
  const bool plain = resolved.isDirectory ? bits == 0 : bits == win::kFileAttributeArchive;
  if (plain) {
    if (map.erase(resolved.key) == 0) return win::kErrorSuccess;
  } else {
    map[resolved.key] = bits;
  }
  return SaveAttributes(file, map) ? win::kErrorSuccess : win::kErrorAccessDenied;
}

std::uint32_t EmulatedFileSystem::deleteFile(std::string_view path) {
  const std::lock_guard lock(mutex_);
  ResolvedPath resolved;
  if (const std::uint32_t error = resolve(path, resolved)) return error;
  if (!resolved.exists) return MissingError(resolved);
  if (resolved.isDirectory) return win::kErrorAccessDenied;
  if ((storedAttributes(resolved) & win::kFileAttributeReadOnly) != 0) {
    return win::kErrorAccessDenied;
  }
  // Windows refuses to delete the file a process runs from (it may be renamed).
  if (IsRunningImage(folder_, resolved.host)) return win::kErrorAccessDenied;
  if (isPinned(resolved)) return win::kErrorSharingViolation;
  if (::unlink(resolved.host.c_str()) != 0) return ErrorFromErrno(errno);
  forgetAttributes(resolved.key);
  return win::kErrorSuccess;
}

std::uint32_t EmulatedFileSystem::moveNow(const ResolvedPath& from, const ResolvedPath& to,
                                          std::uint32_t flags) {
  if (!from.exists) return MissingError(from);
  if (from.key.empty()) return win::kErrorAccessDenied;
  if (isPinned(from)) return win::kErrorSharingViolation;
  // As NTFS: an open file is not replaced by a rename, nor its folder renamed.
  if ((to.exists && isPinned(to)) || (from.isDirectory && pins_.anyBelow(from.key))) {
    return win::kErrorAccessDenied;
  }
  fs::path targetHost = to.host;
  std::string targetKey = to.key;
  if (to.exists && to.key == from.key) {
    // The same entry under another spelling: a change of case, which Windows carries out.
    const std::string_view name = PathFileName(to.windows);
    targetHost = to.host.parent_path() / std::string(name);
    const std::size_t slash = to.key.rfind('/');
    targetKey = (slash == std::string::npos ? std::string() : to.key.substr(0, slash + 1)) +
                std::string(name);
    if (targetKey == from.key) return win::kErrorSuccess;
  } else if (to.exists) {
    if ((flags & win::kMoveFileReplaceExisting) == 0) return win::kErrorAlreadyExists;
    if (to.isDirectory || from.isDirectory) return win::kErrorAccessDenied;
    if ((storedAttributes(to) & win::kFileAttributeReadOnly) != 0) return win::kErrorAccessDenied;
    if (IsRunningImage(folder_, to.host)) return win::kErrorAccessDenied;
  }
  if (from.isDirectory && IsUnder(targetKey, from.key)) return win::kErrorSharingViolation;
  if (::rename(from.host.c_str(), targetHost.c_str()) != 0) return ErrorFromErrno(errno);
  renameAttributes(from.key, targetKey);
  return win::kErrorSuccess;
}

std::uint32_t EmulatedFileSystem::move(std::string_view from, std::string_view to,
                                       std::uint32_t flags) {
  const std::lock_guard lock(mutex_);
  ResolvedPath source;
  if (const std::uint32_t error = resolve(from, source)) return error;

  if ((flags & win::kMoveFileDelayUntilReboot) != 0) {
    if ((flags & win::kMoveFileCopyAllowed) != 0) return win::kErrorInvalidParameter;
    ResolvedPath target;
    if (!to.empty()) {
      if (const std::uint32_t error = resolve(to, target)) return error;
    }
    const fs::path file = folder_.root() / "drive_c.pending_moves";
    std::string content = ReadSidecar(file);
    content.append(Hex8(flags))
        .append("\t")
        .append(source.windows)
        .append("\t")
        .append(target.windows);
    content.push_back('\n');
    return WriteAtomically(file, content) ? win::kErrorSuccess : win::kErrorAccessDenied;
  }

  ResolvedPath target;
  if (to.empty()) return win::kErrorPathNotFound;
  if (const std::uint32_t error = resolve(to, target)) return error;
  return moveNow(source, target, flags);
}

std::uint32_t EmulatedFileSystem::copy(std::string_view from, std::string_view to,
                                       bool failIfExists) {
  const std::lock_guard lock(mutex_);
  ResolvedPath source;
  ResolvedPath target;
  if (const std::uint32_t error = resolve(from, source)) return error;
  if (!source.exists) return MissingError(source);
  if (source.isDirectory) return win::kErrorAccessDenied;
  if (const std::uint32_t error = resolve(to, target)) return error;
  const std::uint32_t sourceAttributes = storedAttributes(source);
  if (target.exists) {
    if (target.isDirectory) return win::kErrorAccessDenied;
    if (failIfExists) return win::kErrorFileExists;
    // The copy is still open as its own source: Windows refuses to overwrite it.
    if (target.key == source.key) return win::kErrorSharingViolation;
    const std::uint32_t existing = storedAttributes(target);
    if ((existing & win::kFileAttributeReadOnly) != 0) return win::kErrorAccessDenied;
    if ((existing & kHiddenOrSystem & ~sourceAttributes) != 0) return win::kErrorAccessDenied;
    if (IsRunningImage(folder_, target.host)) return win::kErrorSharingViolation;
    if (isPinned(target)) return win::kErrorSharingViolation;
  }
  // Copy into a temporary name and rename it into place, so a failed copy leaves the old
  // target as it was.
  const fs::path temporary =
      target.host.parent_path() / (".corvane-copy-" + target.host.filename().string());
  std::error_code error;
  ::unlink(temporary.c_str());  // a leftover of an earlier copy (or a link): not followed
  if (const int failed = CopyNoFollow(readablePath(source), temporary)) {
    error = std::error_code(failed, std::generic_category());
  }
  if (!error) fs::rename(temporary, target.host, error);
  if (error) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    return ErrorFrom(error);
  }
  storeAttributes(target.key, sourceAttributes == win::kFileAttributeNormal ? 0 : sourceAttributes);
  return win::kErrorSuccess;
}

std::uint32_t EmulatedFileSystem::createDirectory(std::string_view path) {
  const std::lock_guard lock(mutex_);
  // The folder limit is checked first, as CreateDirectory does.
  const std::string full = FullWindowsPath(path, environment_.currentDirectory());
  if (Utf16Length(full) >= kMaxDirectoryPath) return win::kErrorFilenameExcedRange;
  ResolvedPath resolved;
  if (const std::uint32_t error = resolve(path, resolved)) return error;
  if (resolved.exists) return win::kErrorAlreadyExists;
  if (::mkdir(resolved.host.c_str(), 0755) != 0) return ErrorFromErrno(errno);
  forgetAttributes(resolved.key);  // a stale line of an older entry
  return win::kErrorSuccess;
}

std::uint32_t EmulatedFileSystem::listFolder(std::string_view folder,
                                             std::vector<FolderEntry>& entries) {
  const std::lock_guard lock(mutex_);
  ResolvedPath resolved;
  if (const std::uint32_t error = resolve(folder, resolved)) return error;
  if (!resolved.exists || !resolved.isDirectory) return win::kErrorPathNotFound;
  std::error_code ec;
  std::vector<FolderEntry> found;
  for (const auto& item : std::filesystem::directory_iterator(resolved.host, ec)) {
    const std::string name = item.path().filename().string();
    ResolvedPath child;
    if (resolve(PathJoin(resolved.windows, name), child) != win::kErrorSuccess || !child.exists) {
      continue;  // a host name that no Windows path reaches
    }
    found.push_back({name, storedAttributes(child)});
  }
  if (ec) return ErrorFromErrno(ec.value());
  entries = std::move(found);
  return win::kErrorSuccess;
}

std::uint32_t EmulatedFileSystem::fixedFileVersion(std::string_view path,
                                                   FixedFileVersion& version) {
  std::vector<std::uint8_t> image;
  {
    const std::lock_guard lock(mutex_);
    ResolvedPath resolved;
    if (const std::uint32_t error = resolve(path, resolved)) return error;
    if (!resolved.exists) return MissingError(resolved);
    if (resolved.isDirectory) return win::kErrorAccessDenied;
    const UniqueFd fd(::open(readablePath(resolved).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (fd.get() < 0) return ErrorFromErrno(errno);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return ErrorFromErrno(errno);
    const std::uintmax_t size =
        std::min(static_cast<std::uintmax_t>(info.st_size), kMaxVersionScan);
    image.resize(static_cast<std::size_t>(size));
    std::size_t got = 0;
    while (got < image.size()) {
      const ssize_t n = ::read(fd.get(), image.data() + got, image.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    image.resize(got);
  }
  return ReadPeFixedVersion(image, version);
}

namespace {

// A pinned file: reads its private copy, ends the pin when destroyed.
class PinnedHostFile final : public File {
 public:
  PinnedHostFile(std::unique_ptr<File> copy, PinnedFiles& pins, std::string key,
                 std::filesystem::path copyPath)
      : copy_(std::move(copy)), pins_(pins), key_(std::move(key)), copyPath_(std::move(copyPath)) {}
  PinnedHostFile(const PinnedHostFile&) = delete;
  PinnedHostFile& operator=(const PinnedHostFile&) = delete;
  PinnedHostFile(PinnedHostFile&&) = delete;
  PinnedHostFile& operator=(PinnedHostFile&&) = delete;
  ~PinnedHostFile() override {
    copy_.reset();
    pins_.release(key_, copyPath_);
  }

  std::uint32_t read(std::span<std::byte> buffer, std::size_t& bytesRead) override {
    return copy_->read(buffer, bytesRead);
  }
  std::uint32_t write(std::span<const std::byte> /*data*/) override {
    return win::kErrorAccessDenied;
  }
  std::uint32_t seek(std::uint64_t offset) override { return copy_->seek(offset); }
  std::uint32_t size(std::uint64_t& bytes) override { return copy_->size(bytes); }

 private:
  std::unique_ptr<File> copy_;
  PinnedFiles& pins_;
  std::string key_;
  std::filesystem::path copyPath_;
};

}  // namespace

std::uint32_t EmulatedFileSystem::pin(std::string_view path, std::unique_ptr<File>& pinned) {
  const std::lock_guard lock(mutex_);
  ResolvedPath resolved;
  if (const std::uint32_t error = resolve(path, resolved)) return error;
  if (!resolved.exists) return MissingError(resolved);
  if (resolved.isDirectory) return win::kErrorAccessDenied;
  fs::path copy;
  if (const std::uint32_t error = pins_.pin(resolved.key, resolved.host, copy)) return error;
  const int fd = ::open(copy.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    const std::uint32_t error = ErrorFromErrno(errno);
    pins_.release(resolved.key, copy);
    return error;
  }
  pinned = std::make_unique<PinnedHostFile>(std::make_unique<HostFile>(fd, true, false), pins_,
                                            resolved.key, copy);
  return win::kErrorSuccess;
}

bool EmulatedFileSystem::isPinned(const ResolvedPath& resolved) const {
  return !resolved.isDirectory && pins_.copyOf(resolved.key).has_value();
}

std::filesystem::path EmulatedFileSystem::readablePath(const ResolvedPath& resolved) const {
  if (resolved.isDirectory) return resolved.host;
  return pins_.copyOf(resolved.key).value_or(resolved.host);
}

std::vector<PendingMove> EmulatedFileSystem::pendingMoves() const {
  const std::lock_guard lock(mutex_);
  return LoadPending(folder_.root() / "drive_c.pending_moves");
}

std::size_t EmulatedFileSystem::Reboot() {
  const std::lock_guard lock(mutex_);
  const fs::path file = folder_.root() / "drive_c.pending_moves";
  const std::vector<PendingMove> moves = LoadPending(file);
  std::size_t done = 0;
  for (const PendingMove& move : moves) {
    ResolvedPath source;
    // Paths were stored in full, so the current directory plays no part.
    if (drive_.resolve(move.from, "C:\\", source) != win::kErrorSuccess || !source.exists) {
      continue;
    }
    if (move.to.empty()) {
      std::error_code error;
      if (fs::remove(source.host, error) && !error) {
        forgetAttributes(source.key);
        ++done;
      }
      continue;
    }
    ResolvedPath target;
    if (drive_.resolve(move.to, "C:\\", target) != win::kErrorSuccess) continue;
    if (moveNow(source, target, move.flags) == win::kErrorSuccess) ++done;
  }
  (void)RemoveMachineFile(folder_.root(), file.filename());
  return done;
}

}  // namespace corvane::emulated
