#include "platform/emulated/running_images.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/emulated/unique_fd.h"

namespace corvane::emulated {
namespace {

std::filesystem::path ImagesFolder(const MachineFolder& folder) {
  return folder.lockDir() / "images";
}

}  // namespace

RunningImage::~RunningImage() {
  ::unlink(record_.c_str());
  ::close(fd_);
}

std::unique_ptr<RunningImage> RunningImage::Start(const MachineFolder& folder,
                                                  const std::filesystem::path& hostFile) {
  struct stat info {};
  if (::lstat(hostFile.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
  ::mkdir(folder.lockDir().c_str(), 0700);
  ::mkdir(ImagesFolder(folder).c_str(), 0700);
  static std::atomic<unsigned> counter{0};
  const std::filesystem::path record =
      ImagesFolder(folder) /
      (std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".image");
  // Written and locked under another name first, so a record is never seen unlocked while
  // its holder lives.
  std::filesystem::path pending = record;
  pending.replace_extension(".new");
  const int fd = ::open(pending.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return nullptr;
  const std::string text = std::to_string(info.st_dev) + " " + std::to_string(info.st_ino) + "\n";
  if (::flock(fd, LOCK_EX) != 0 ||
      ::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()) ||
      ::rename(pending.c_str(), record.c_str()) != 0) {
    ::close(fd);
    ::unlink(pending.c_str());
    return nullptr;
  }
  return std::unique_ptr<RunningImage>(new RunningImage(fd, record));  // NOLINT: private ctor
}

bool IsRunningImage(const MachineFolder& folder, const std::filesystem::path& hostFile) {
  struct stat info {};
  if (::lstat(hostFile.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(ImagesFolder(folder), error)) {
    if (entry.path().extension() != ".image") continue;
    const UniqueFd fd(::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (fd.get() < 0) continue;
    // A record whose holder has ended can be locked: it names nothing running any more.
    if (::flock(fd.get(), LOCK_SH | LOCK_NB) == 0) {
      ::unlink(entry.path().c_str());
      continue;
    }
    if (errno != EWOULDBLOCK) continue;
    std::array<char, 64> text{};
    const ssize_t got = ::read(fd.get(), text.data(), text.size() - 1);
    if (got <= 0) continue;
    // The record is this program's own: "<device> <inode>\n"; anything else names nothing.
    const std::string expected =
        std::to_string(info.st_dev) + " " + std::to_string(info.st_ino) + "\n";
    if (std::string_view(text.data(), static_cast<std::size_t>(got)) == expected) return true;
  }
  return false;
}

}  // namespace corvane::emulated
