#include "platform/emulated/emulated_instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/emulated/machine_files.h"
#include "platform/win_errors.h"

namespace corvane::emulated {
namespace {

class LockFile final : public InstanceHold::Handle {
 public:
  explicit LockFile(int fd) : fd_(fd) {}
  ~LockFile() override { ::close(fd_); }
  LockFile(const LockFile&) = delete;
  LockFile& operator=(const LockFile&) = delete;

 private:
  int fd_;
};

// Creates the folder if needed and checks that only this user can put files in it, so that
// nobody else can hold (or fake) our lock.
bool PrepareFolder(const std::filesystem::path& folder) {
  ::mkdir(folder.c_str(), 0700);
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0) return false;
  return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 022U) == 0;
}

// Mutex names may hold any character but a backslash; file names take a safe subset.
std::string FileNameFor(std::string_view name) {
  std::string file;
  for (const char c : name) {
    const bool safe = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '{' || c == '}' || c == '-' || c == '_' || c == '.';
    file += safe ? c : '_';
  }
  return file + ".lock";
}

}  // namespace

EmulatedInstanceLock::EmulatedInstanceLock(std::filesystem::path folder)
    : folder_(std::move(folder)) {}

std::uint32_t EmulatedInstanceLock::Acquire(std::string_view name, InstanceHold& hold) {
  hold.Release();
  if (!PrepareFolder(folder_)) return win::kErrorAccessDenied;
  const int fd = OpenMachineFile(folder_.parent_path(), folder_.filename() / FileNameFor(name),
                                 O_RDWR | O_CREAT, 0600);
  if (fd < 0) return win::kErrorAccessDenied;
  auto file = std::make_unique<LockFile>(fd);
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    return errno == EWOULDBLOCK ? win::kErrorAlreadyExists : win::kErrorAccessDenied;
  }
  hold = InstanceHold(std::move(file));
  return win::kErrorSuccess;
}

}  // namespace corvane::emulated
