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
#include <vector>

#include "platform/emulated/machine_files.h"
#include "platform/emulated/unique_fd.h"

namespace corvane::emulated {
namespace {

std::filesystem::path ImagesFolder(const MachineFolder& folder) {
  return folder.lockDir() / "images";
}

}  // namespace

RunningImage::~RunningImage() {
  // record_ is <machine>/locks/images/<name>.
  const std::filesystem::path images = record_.parent_path();
  (void)RemoveMachineFile(images.parent_path().parent_path(),
                          images.parent_path().filename() / images.filename() / record_.filename());
  ::close(fd_);
}

std::unique_ptr<RunningImage> RunningImage::Start(const MachineFolder& folder,
                                                  const std::filesystem::path& hostFile) {
  struct stat info {};
  if (::lstat(hostFile.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
  const std::filesystem::path images = ImagesFolder(folder).lexically_relative(folder.root());
  if (MakeMachineFolders(folder.root(), images, 0700) != MachineFileStatus::kOk) return nullptr;
  static std::atomic<unsigned> counter{0};
  const std::filesystem::path record =
      ImagesFolder(folder) /
      (std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".image");
  // Written and locked under another name first, so a record is never seen unlocked while
  // its holder lives.
  std::filesystem::path pending = record;
  pending.replace_extension(".new");
  const int fd =
      OpenMachineFile(folder.root(), images / pending.filename(), O_RDWR | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) return nullptr;
  const std::string text = std::to_string(info.st_dev) + " " + std::to_string(info.st_ino) + "\n";
  if (::flock(fd, LOCK_EX) != 0 ||
      ::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()) ||
      RenameMachineFile(folder.root(), images / pending.filename(), images / record.filename()) !=
          MachineFileStatus::kOk) {
    ::close(fd);
    (void)RemoveMachineFile(folder.root(), images / pending.filename());
    return nullptr;
  }
  return std::unique_ptr<RunningImage>(new RunningImage(fd, record));  // NOLINT: private ctor
}

bool IsRunningImage(const MachineFolder& folder, const std::filesystem::path& hostFile) {
  struct stat info {};
  if (::lstat(hostFile.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  const std::filesystem::path images = ImagesFolder(folder).lexically_relative(folder.root());
  std::vector<std::string> names;
  (void)ListMachineFolder(folder.root(), images, names);
  for (const std::string& name : names) {
    if (std::filesystem::path(name).extension() != ".image") continue;
    const UniqueFd fd(OpenMachineFile(folder.root(), images / name, O_RDONLY, 0));
    if (fd.get() < 0) continue;
    // A record whose holder has ended can be locked: it names nothing running any more.
    if (::flock(fd.get(), LOCK_SH | LOCK_NB) == 0) {
      (void)RemoveMachineFile(folder.root(), images / name);
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
