#include "hosts/browser/launcher.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

extern char** environ;  // NOLINT(readability-redundant-declaration): POSIX declares it nowhere

namespace corvane::browser {
namespace {

constexpr const char* kFileName = "page.html";

// A descriptor, closed when destroyed.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd(Fd&&) = delete;
  Fd& operator=(Fd&&) = delete;
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  [[nodiscard]] int get() const { return fd_; }

 private:
  int fd_;
};

// $XDG_RUNTIME_DIR when it is the user's own private folder.
std::optional<std::filesystem::path> RuntimeFolder() {
  const char* value = std::getenv("XDG_RUNTIME_DIR");  // NOLINT(concurrency-mt-unsafe)
  if (value == nullptr || value[0] != '/') return {};
  struct stat info {};
  if (::lstat(value, &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() ||
      (info.st_mode & 077U) != 0) {
    return {};
  }
  return std::filesystem::path(value);
}

// A temporary folder in which no one else can swap our folder for theirs: ours or root's, and
// sticky when others may write to it.
std::optional<std::filesystem::path> TemporaryFolder(const char* value) {
  if (value == nullptr || value[0] != '/') return {};
  struct stat info {};
  if (::stat(value, &info) != 0 || !S_ISDIR(info.st_mode)) return {};
  if (info.st_uid != ::geteuid() && info.st_uid != 0) return {};
  if ((info.st_mode & 022U) != 0 && (info.st_mode & S_ISVTX) == 0) return {};
  return std::filesystem::path(value);
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// A fresh private folder under `base` with the launcher in it; its folder, or empty.
std::filesystem::path WriteUnder(const std::filesystem::path& base, std::string_view html) {
  std::string name = (base / "corvane-page-XXXXXX").string();
  if (::mkdtemp(name.data()) == nullptr) return {};
  bool written = false;
  {
    const Fd dir(::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (dir.get() >= 0 && ::fstat(dir.get(), &info) == 0 && info.st_uid == ::geteuid() &&
        ::fchmod(dir.get(), 0700) == 0) {
      const Fd file(::openat(dir.get(), kFileName,
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
      // The umask may only take bits away: 0600 whatever it is.
      written = file.get() >= 0 && ::fchmod(file.get(), 0600) == 0 && WriteAll(file.get(), html);
      if (!written && file.get() >= 0) (void)::unlinkat(dir.get(), kFileName, 0);
    }
  }
  if (!written) {
    (void)::rmdir(name.c_str());
    return {};
  }
  return std::filesystem::path(name);
}

}  // namespace

std::string LauncherHtml(std::string_view url) {
  // The URL is ours (digits, hex and punctuation): nothing in it needs escaping.
  const std::string u(url);
  return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n"
         "<meta http-equiv=\"refresh\" content=\"0;url=" +
         u +
         "\">\n"
         "<script>window.location.replace(\"" +
         u +
         "\");</script>\n"
         "</head><body><a href=\"" +
         u + "\">" + u + "</a></body></html>\n";
}

PageLauncher::PageLauncher(std::string_view url) {
  const std::string html = LauncherHtml(url);
  std::vector<std::filesystem::path> bases;
  if (auto runtime = RuntimeFolder()) bases.push_back(std::move(*runtime));
  if (auto tmp = TemporaryFolder(std::getenv("TMPDIR"))) {  // NOLINT(concurrency-mt-unsafe)
    bases.push_back(std::move(*tmp));
  }
  if (auto tmp = TemporaryFolder("/tmp")) bases.push_back(std::move(*tmp));
  for (const std::filesystem::path& base : bases) {
    std::filesystem::path folder = WriteUnder(base, html);
    if (!folder.empty()) {
      file_ = folder / kFileName;
      folder_ = std::move(folder);
      return;
    }
  }
}

void PageLauncher::remove() {
  if (file_.empty()) return;
  (void)::unlink(file_.c_str());
  (void)::rmdir(folder_.c_str());
  file_.clear();
  folder_.clear();
}

bool OpenWithDesktop(const std::filesystem::path& file) {
  // The shell only puts xdg-open in the background (it may wait for the browser); the path is
  // its argument, never parsed as shell text.
  const std::string path = file.string();
  std::array<std::string, 5> args{"sh", "-c", "xdg-open \"$1\" >/dev/null 2>&1 &", "sh", path};
  std::array<char*, 6> argv{args[0].data(), args[1].data(), args[2].data(),
                            args[3].data(), args[4].data(), nullptr};
  pid_t child = 0;
  if (::posix_spawn(&child, "/bin/sh", nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace corvane::browser
