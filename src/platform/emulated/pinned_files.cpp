#include "platform/emulated/pinned_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "platform/emulated/unique_fd.h"
#include "platform/file_system.h"
#include "platform/win_errors.h"

namespace corvane::emulated {
namespace {

std::uint32_t ErrorOf(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return win::kErrorFileNotFound;
    case ENOSPC:
      return win::kErrorDiskFull;
    case ENOMEM:
      return win::kErrorNotEnoughMemory;
    default:
      return win::kErrorAccessDenied;  // a link (ELOOP), a folder (EISDIR), no access
  }
}

// Copies every byte of `from` to `to`; false on any error.
bool CopyAll(int from, int to) {
  std::array<char, 64 * 1024> buffer{};
  for (;;) {
    const ssize_t got = ::read(from, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    std::string_view rest(buffer.data(), static_cast<std::size_t>(got));
    while (!rest.empty()) {
      const ssize_t put = ::write(to, rest.data(), rest.size());
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      rest.remove_prefix(static_cast<std::size_t>(put));
    }
  }
}

}  // namespace

PinnedFiles::~PinnedFiles() {
  if (folder_.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(folder_, ec);
}

std::uint32_t PinnedFiles::pin(const std::string& key, const std::filesystem::path& hostFile,
                               std::filesystem::path& copy) {
  const std::lock_guard lock(mutex_);
  if (folder_.empty()) {
    std::error_code ec;
    std::string pattern =
        (std::filesystem::temp_directory_path(ec) / "corvane-pins-XXXXXX").string();
    if (ec || ::mkdtemp(pattern.data()) == nullptr) return win::kErrorAccessDenied;
    folder_ = pattern;
  }
  // A second pin copies the first one's bytes: the file cannot have changed in between.
  const auto earlier = pins_.find(key);
  const std::filesystem::path& source = earlier != pins_.end() ? earlier->second : hostFile;
  const UniqueFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (in.get() < 0) return ErrorOf(errno);
  struct stat info {};
  if (::fstat(in.get(), &info) != 0) return ErrorOf(errno);
  if (!S_ISREG(info.st_mode)) return win::kErrorAccessDenied;
  std::filesystem::path target = folder_ / std::to_string(next_++);
  UniqueFd out(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                      // Kept runnable: a pinned script is started from its copy.
                      info.st_mode & 0500U));
  if (out.get() < 0) return ErrorOf(errno);
  if (!CopyAll(in.get(), out.get()) || !out.Close()) {
    ::unlink(target.c_str());
    return win::kErrorAccessDenied;
  }
  pins_.emplace(key, target);
  copy = std::move(target);
  return win::kErrorSuccess;
}

void PinnedFiles::release(const std::string& key, const std::filesystem::path& copy) {
  const std::lock_guard lock(mutex_);
  for (auto [it, end] = pins_.equal_range(key); it != end; ++it) {
    if (it->second != copy) continue;
    pins_.erase(it);
    ::unlink(copy.c_str());
    return;
  }
}

std::optional<std::filesystem::path> PinnedFiles::copyOf(const std::string& key) const {
  const std::lock_guard lock(mutex_);
  const auto it = pins_.find(key);
  if (it == pins_.end()) return std::nullopt;
  return it->second;
}

bool PinnedFiles::anyBelow(const std::string& key) const {
  const std::string prefix = key.empty() ? key : key + "/";
  const std::lock_guard lock(mutex_);
  const auto it = pins_.lower_bound(prefix);
  return it != pins_.end() && it->first.starts_with(prefix);
}

}  // namespace corvane::emulated
