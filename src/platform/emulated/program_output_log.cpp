#include "platform/emulated/program_output_log.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <memory>
#include <utility>

#include "platform/emulated/unique_fd.h"

namespace corvane::emulated {

ProgramOutputLog::ProgramOutputLog(std::filesystem::path file, std::uintmax_t limit)
    : file_(std::move(file)), limit_(limit) {}

ProgramOutputLog::~ProgramOutputLog() {
  if (thread_.joinable()) {
    thread_.request_stop();
    const char wake = 'x';
    (void)!::write(wakeWrite_, &wake, 1);
    thread_.join();
  }
  for (const Reader& reader : readers_) ::close(reader.fd);
  if (wakeRead_ >= 0) ::close(wakeRead_);
  if (wakeWrite_ >= 0) ::close(wakeWrite_);
}

int ProgramOutputLog::open(std::string_view title) {
  std::array<int, 2> pipe{-1, -1};
  if (::pipe2(pipe.data(), O_CLOEXEC) != 0) return -1;
  const std::lock_guard lock(mutex_);
  if (wakeRead_ < 0) {
    std::array<int, 2> wake{-1, -1};
    if (::pipe2(wake.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
      ::close(pipe[0]);
      ::close(pipe[1]);
      return -1;
    }
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];
  }
  readers_.push_back({pipe[0], std::string(title), false});
  if (!thread_.joinable()) {
    thread_ = std::jthread([this](const std::stop_token& stop) { pump(stop); });
  } else {
    const char wake = 'x';
    (void)!::write(wakeWrite_, &wake, 1);  // the thread polls the new pipe too
  }
  return pipe[1];
}

void ProgramOutputLog::flush() {
  const std::lock_guard lock(mutex_);
  std::erase_if(readers_, [this](Reader& reader) {
    pollfd ready{reader.fd, POLLIN, 0};
    // Only what is there: a pipe whose program still runs is not waited for.
    while (::poll(&ready, 1, 0) > 0) {
      if (!drain(reader)) {
        ::close(reader.fd);
        return true;
      }
    }
    return false;
  });
}

void ProgramOutputLog::pump(const std::stop_token& stop) {
  std::vector<pollfd> polled;
  while (!stop.stop_requested()) {
    {
      const std::lock_guard lock(mutex_);
      polled.assign(1, pollfd{wakeRead_, POLLIN, 0});
      for (const Reader& reader : readers_) polled.push_back({reader.fd, POLLIN, 0});
    }
    if (::poll(polled.data(), polled.size(), -1) < 0 && errno != EINTR) return;
    if ((polled[0].revents & POLLIN) != 0) {
      std::array<char, 64> drop{};
      while (::read(wakeRead_, drop.data(), drop.size()) > 0) {
      }
    }
    const std::lock_guard lock(mutex_);
    std::erase_if(readers_, [&](Reader& reader) {
      for (std::size_t i = 1; i < polled.size(); ++i) {
        if (polled[i].fd != reader.fd || polled[i].revents == 0) continue;
        if (!drain(reader)) {
          ::close(reader.fd);
          return true;
        }
      }
      return false;
    });
  }
}

bool ProgramOutputLog::drain(Reader& reader) {
  std::array<char, 4096> buffer{};
  const ssize_t got = ::read(reader.fd, buffer.data(), buffer.size());
  if (got < 0) return errno == EINTR || errno == EAGAIN;
  if (got == 0) return false;
  std::string text;
  if (!reader.headed) {
    text = "--- " + reader.title + "\n";
    reader.headed = true;
  }
  text.append(buffer.data(), static_cast<std::size_t>(got));
  append(text);
  return true;
}

void ProgramOutputLog::append(std::string_view text) {
  const int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW;
  auto fd = std::make_unique<UniqueFd>(::open(file_.c_str(), flags, 0644));
  struct stat info {};
  if (fd->get() >= 0 && ::fstat(fd->get(), &info) == 0 &&
      static_cast<std::uintmax_t>(info.st_size) + text.size() > limit_ && info.st_size > 0) {
    (void)::rename(file_.c_str(), olderFile().c_str());
    fd = std::make_unique<UniqueFd>(::open(file_.c_str(), flags | O_TRUNC, 0644));
  }
  if (fd->get() < 0) return;  // a log that cannot be written loses the output, nothing else
  // A single chunk longer than the limit keeps only its end.
  if (text.size() > limit_) text.remove_prefix(text.size() - limit_);
  (void)!::write(fd->get(), text.data(), text.size());
}

}  // namespace corvane::emulated
