#pragma once

// Where the standard output and error of the programs the emulated PC runs go: a log in the
// machine folder, never the user's terminal (an installer's messages would garble a terminal
// page). Each program writes into a pipe of its own; one thread copies what arrives into the
// log, each program's output headed by a line "--- <program>". The log is bounded: when it
// would grow past the limit it becomes <log>.1 (replacing the one before) and a new log
// starts, so the two hold the latest output and at most twice the limit.
//
// Decisions:
// - A pipe and a copying thread rather than the log file itself as the program's output: a
//   program given the file could write without bound, and with it a program of the PC
//   could write the log as it likes.
// - What programs still running write after this object is gone is lost (their pipes
//   close); programs of the PC end with the process that started them anyway.

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace corvane::emulated {

class ProgramOutputLog {
 public:
  static constexpr std::uintmax_t kDefaultLimit = std::uintmax_t{256} * 1024U;

  explicit ProgramOutputLog(std::filesystem::path file, std::uintmax_t limit = kDefaultLimit);
  ProgramOutputLog(const ProgramOutputLog&) = delete;
  ProgramOutputLog& operator=(const ProgramOutputLog&) = delete;
  ProgramOutputLog(ProgramOutputLog&&) = delete;
  ProgramOutputLog& operator=(ProgramOutputLog&&) = delete;
  ~ProgramOutputLog();

  // The writing end of a new pipe whose output goes into the log under `title`; the caller
  // owns it (close-on-exec set) and closes it once the program has it. -1 when no pipe can
  // be made.
  [[nodiscard]] int open(std::string_view title);

  // Copies what is waiting in the pipes into the log (for tests, which read it right after
  // a program ended). Returns once every pipe whose programs have all ended is drained.
  void flush();

  [[nodiscard]] const std::filesystem::path& file() const { return file_; }
  // The older part, the log as it was when it last reached the limit.
  [[nodiscard]] std::filesystem::path olderFile() const { return file_.string() + ".1"; }

 private:
  struct Reader {
    int fd;
    std::string title;
    bool headed;
  };
  void pump(const std::stop_token& stop);
  // Reads what one pipe has; false at its end.
  bool drain(Reader& reader);
  void append(std::string_view text);

  std::filesystem::path file_;
  std::uintmax_t limit_;
  std::mutex mutex_;             // guards readers_, the log file and the thread's start
  std::vector<Reader> readers_;  // owned descriptors
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  std::jthread thread_;  // last: stopped and joined before the rest goes
};

}  // namespace corvane::emulated
