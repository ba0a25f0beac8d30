#include "platform/emulated/machine_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <memory>
#include <utility>

#include "platform/emulated/unique_fd.h"

namespace corvane::emulated {
namespace fs = std::filesystem;
namespace {

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The status for a failed open of `leaf` in `dir` with `error`: a link is told apart from a
// file that is simply not there or not a folder.
MachineFileStatus Classify(int dir, const std::string& leaf, int error) {
  struct stat info {};
  if (::fstatat(dir, leaf.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISLNK(info.st_mode)) return MachineFileStatus::kLink;
    if (error == ENOTDIR || error == EISDIR || error == ENXIO)
      return MachineFileStatus::kNotRegular;
  }
  if (error == ELOOP) return MachineFileStatus::kLink;
  if (error == ENOENT) return MachineFileStatus::kMissing;
  errno = error;
  return MachineFileStatus::kFailed;
}

// The components of a relative name, or nothing when it could leave the folder.
bool SplitName(const fs::path& name, std::vector<std::string>& parts) {
  parts.clear();
  if (name.empty() || name.is_absolute() || name.has_root_path()) return false;
  for (const fs::path& part : name) {
    const std::string text = part.string();
    if (text.empty() || text == "." || text == "..") return false;
    parts.push_back(text);
  }
  return !parts.empty();
}

// Opens the folder that holds the last component of `name` (returned in `leaf`), walking
// down from the machine folder without following a link; -1 with `status` on failure.
int OpenParent(const fs::path& folder, const fs::path& name, bool create, mode_t mode,
               std::string& leaf, MachineFileStatus& status) {
  std::vector<std::string> parts;
  if (!SplitName(name, parts)) {
    status = MachineFileStatus::kFailed;
    errno = EINVAL;
    return -1;
  }
  leaf = parts.back();
  parts.pop_back();
  int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) {
    status = errno == ENOENT ? MachineFileStatus::kMissing : MachineFileStatus::kFailed;
    return -1;
  }
  for (const std::string& part : parts) {
    const UniqueFd above(dir);
    dir = ::openat(above.get(), part.c_str(), kDirectoryFlags);
    if (dir < 0 && errno == ENOENT && create) {
      if (::mkdirat(above.get(), part.c_str(), mode) != 0 && errno != EEXIST) {
        status = MachineFileStatus::kFailed;
        return -1;
      }
      dir = ::openat(above.get(), part.c_str(), kDirectoryFlags);
    }
    if (dir < 0) {
      status = Classify(above.get(), part, errno);
      return -1;
    }
  }
  status = MachineFileStatus::kOk;
  return dir;
}

// kOk for a regular file, kMissing, kLink or kNotRegular for what stands at `leaf`.
MachineFileStatus StatAt(int dir, const std::string& leaf) {
  struct stat info {};
  if (::fstatat(dir, leaf.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT ? MachineFileStatus::kMissing : MachineFileStatus::kFailed;
  }
  if (S_ISLNK(info.st_mode)) return MachineFileStatus::kLink;
  return S_ISREG(info.st_mode) ? MachineFileStatus::kOk : MachineFileStatus::kNotRegular;
}

bool IsRegular(int fd) {
  struct stat info {};
  return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

}  // namespace

std::string_view DescribeMachineFileStatus(MachineFileStatus status) {
  switch (status) {
    case MachineFileStatus::kOk:
      return "is fine";
    case MachineFileStatus::kMissing:
      return "does not exist";
    case MachineFileStatus::kLink:
      return "is a symbolic link, which is not followed";
    case MachineFileStatus::kNotRegular:
      return "is not a plain file";
    case MachineFileStatus::kTooLarge:
      return "is too large";
    case MachineFileStatus::kFailed:
      break;
  }
  return "cannot be read or written";
}

MachineFileStatus StatMachineFile(const fs::path& folder, const fs::path& name) {
  std::string leaf;
  MachineFileStatus status{};
  const UniqueFd dir(OpenParent(folder, name, false, 0, leaf, status));
  if (dir.get() < 0) return status;
  return StatAt(dir.get(), leaf);
}

MachineFileStatus ReadMachineFile(const fs::path& folder, const fs::path& name,
                                  std::string& content, std::size_t limit) {
  content.clear();
  std::string leaf;
  MachineFileStatus status{};
  const UniqueFd dir(OpenParent(folder, name, false, 0, leaf, status));
  if (dir.get() < 0) return status;
  // O_NONBLOCK: opening a FIFO planted here must not wait for a writer.
  const UniqueFd fd(
      ::openat(dir.get(), leaf.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) return Classify(dir.get(), leaf, errno);
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return MachineFileStatus::kFailed;
  if (!S_ISREG(info.st_mode)) return MachineFileStatus::kNotRegular;
  if (static_cast<std::uintmax_t>(info.st_size) > limit) return MachineFileStatus::kTooLarge;
  std::array<char, std::size_t{16} * 1024> block{};
  for (;;) {
    const ssize_t got = ::read(fd.get(), block.data(), block.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return MachineFileStatus::kFailed;
    if (got == 0) break;
    if (content.size() + static_cast<std::size_t>(got) > limit) {
      content.clear();
      return MachineFileStatus::kTooLarge;
    }
    content.append(block.data(), static_cast<std::size_t>(got));
  }
  return MachineFileStatus::kOk;
}

MachineFileStatus WriteMachineFileAtomically(const fs::path& folder, const fs::path& name,
                                             std::string_view content,
                                             const MachineWriteOptions& options) {
  std::string leaf;
  MachineFileStatus status{};
  const UniqueFd dir(OpenParent(folder, name, options.createFolders, 0755, leaf, status));
  if (dir.get() < 0) return status;
  if (const MachineFileStatus target = StatAt(dir.get(), leaf);
      target == MachineFileStatus::kLink || target == MachineFileStatus::kNotRegular) {
    return target;
  }
  const std::string temporary =
      options.temporaryName.empty() ? leaf + ".new" : options.temporaryName;
  if (temporary.find('/') != std::string::npos || temporary == leaf) {
    errno = EINVAL;
    return MachineFileStatus::kFailed;
  }
  // A temporary file left by a run that ended early goes; a link there is refused.
  const MachineFileStatus left = StatAt(dir.get(), temporary);
  if (left == MachineFileStatus::kLink) return left;
  if (left != MachineFileStatus::kMissing) ::unlinkat(dir.get(), temporary.c_str(), 0);
  {
    UniqueFd fd(::openat(dir.get(), temporary.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (fd.get() < 0) return Classify(dir.get(), temporary, errno);
    if (!WriteAll(fd.get(), content) || (options.sync && ::fsync(fd.get()) != 0) || !fd.Close()) {
      const int error = errno;
      ::unlinkat(dir.get(), temporary.c_str(), 0);
      errno = error;
      return MachineFileStatus::kFailed;
    }
  }
  if (::renameat(dir.get(), temporary.c_str(), dir.get(), leaf.c_str()) != 0) {
    const int error = errno;
    ::unlinkat(dir.get(), temporary.c_str(), 0);
    errno = error;
    return MachineFileStatus::kFailed;
  }
  if (options.sync) ::fsync(dir.get());
  return MachineFileStatus::kOk;
}

MachineFileStatus CreateMachineFile(const fs::path& folder, const fs::path& name,
                                    std::string_view content) {
  std::string leaf;
  MachineFileStatus status{};
  const UniqueFd dir(OpenParent(folder, name, false, 0, leaf, status));
  if (dir.get() < 0) return status;
  UniqueFd fd(::openat(dir.get(), leaf.c_str(),
                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (fd.get() < 0) return Classify(dir.get(), leaf, errno);
  if (!WriteAll(fd.get(), content) || !fd.Close()) return MachineFileStatus::kFailed;
  return MachineFileStatus::kOk;
}

MachineFileStatus AppendMachineFile(const fs::path& folder, const fs::path& name,
                                    std::string_view text) {
  std::string leaf;
  MachineFileStatus status{};
  const UniqueFd dir(OpenParent(folder, name, false, 0, leaf, status));
  if (dir.get() < 0) return status;
  UniqueFd fd(::openat(dir.get(), leaf.c_str(),
                       O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0644));
  if (fd.get() < 0) return Classify(dir.get(), leaf, errno);
  if (!IsRegular(fd.get())) return MachineFileStatus::kNotRegular;
  // One write, so that lines appended at once by several processes never interleave.
  if (::write(fd.get(), text.data(), text.size()) != static_cast<ssize_t>(text.size()) ||
      !fd.Close()) {
    return MachineFileStatus::kFailed;
  }
  return MachineFileStatus::kOk;
}

int OpenMachineFile(const fs::path& folder, const fs::path& name, int flags, mode_t mode,
                    bool createFolders) {
  std::string leaf;
  MachineFileStatus status{};
  const UniqueFd dir(OpenParent(folder, name, createFolders, 0700, leaf, status));
  if (dir.get() < 0) {
    if (status == MachineFileStatus::kLink) errno = ELOOP;
    return -1;
  }
  const int fd = ::openat(dir.get(), leaf.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
  if (fd < 0) {
    const int error = errno;
    errno = Classify(dir.get(), leaf, error) == MachineFileStatus::kLink ? ELOOP : error;
  }
  return fd;
}

MachineFileStatus RenameMachineFile(const fs::path& folder, const fs::path& from,
                                    const fs::path& to) {
  if (from.parent_path() != to.parent_path()) {
    errno = EXDEV;
    return MachineFileStatus::kFailed;
  }
  std::string leaf;
  MachineFileStatus status{};
  const UniqueFd dir(OpenParent(folder, from, false, 0, leaf, status));
  if (dir.get() < 0) return status;
  const std::string target = to.filename().string();
  if (StatAt(dir.get(), target) == MachineFileStatus::kLink) return MachineFileStatus::kLink;
  if (::renameat(dir.get(), leaf.c_str(), dir.get(), target.c_str()) != 0) {
    return Classify(dir.get(), leaf, errno);
  }
  return MachineFileStatus::kOk;
}

MachineFileStatus RemoveMachineFile(const fs::path& folder, const fs::path& name) {
  std::string leaf;
  MachineFileStatus status{};
  const UniqueFd dir(OpenParent(folder, name, false, 0, leaf, status));
  if (dir.get() < 0) return status;
  if (::unlinkat(dir.get(), leaf.c_str(), 0) != 0) {
    return errno == ENOENT ? MachineFileStatus::kMissing : MachineFileStatus::kFailed;
  }
  return MachineFileStatus::kOk;
}

MachineFileStatus ListMachineFolder(const fs::path& folder, const fs::path& name,
                                    std::vector<std::string>& names) {
  names.clear();
  std::string leaf;
  MachineFileStatus status{};
  const UniqueFd dir(OpenParent(folder, name, false, 0, leaf, status));
  if (dir.get() < 0) return status;
  const int fd = ::openat(dir.get(), leaf.c_str(), kDirectoryFlags);
  if (fd < 0) return Classify(dir.get(), leaf, errno);
  const std::unique_ptr<DIR, DirCloser> listing(::fdopendir(fd));
  if (!listing) {
    ::close(fd);
    return MachineFileStatus::kFailed;
  }
  while (const dirent* entry = ::readdir(listing.get())) {
    const std::string_view entryName = static_cast<const char*>(entry->d_name);
    if (entryName != "." && entryName != "..") names.emplace_back(entryName);
  }
  return MachineFileStatus::kOk;
}

MachineFileStatus MakeMachineFolders(const fs::path& folder, const fs::path& name, mode_t mode) {
  std::string leaf;
  MachineFileStatus status{};
  const UniqueFd dir(OpenParent(folder, name, true, mode, leaf, status));
  if (dir.get() < 0) return status;
  if (::mkdirat(dir.get(), leaf.c_str(), mode) != 0 && errno != EEXIST) {
    return MachineFileStatus::kFailed;
  }
  const UniqueFd made(::openat(dir.get(), leaf.c_str(), kDirectoryFlags));
  if (made.get() < 0) return Classify(dir.get(), leaf, errno);
  return MachineFileStatus::kOk;
}

fs::path MachineRelative(const fs::path& folder, const fs::path& path) {
  fs::path relative = path.lexically_normal().lexically_relative(folder.lexically_normal());
  if (relative.empty() || relative == "." || *relative.begin() == "..") return {};
  return relative;
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t put = ::write(fd, data.data(), data.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(put));
  }
  return true;
}

}  // namespace corvane::emulated
