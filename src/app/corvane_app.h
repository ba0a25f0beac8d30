#pragma once

// CCorvaneApp: start-up. Finishes a self-update hand-over ("/update"), makes sure only one
// instance runs and then runs the main dialog modally; the process lives as long as the
// dialog. How the dialog is shown (window, browser page, terminal) is the host's business.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// What start-up needs from the host.
class AppHost {
 public:
  AppHost() = default;
  AppHost(const AppHost&) = delete;
  AppHost& operator=(const AppHost&) = delete;
  AppHost(AppHost&&) = delete;
  AppHost& operator=(AppHost&&) = delete;
  virtual ~AppHost() = default;

  // Constructs CCorvaneDlg, runs it modally and destroys it once it has closed.
  virtual void runDialog() = 0;
  // Blocks the calling thread; tests pass time without waiting.
  virtual void sleep(std::uint32_t ms);
};

// How a start ended.
enum class StartOutcome {
  kDialogRan,        // the dialog was shown and has closed
  kAnotherInstance,  // an instance runs already: ended silently
  kLockFailed,       // the single-instance lock could not be made: ended without the dialog
};

struct StartReport {
  StartOutcome outcome = StartOutcome::kDialogRan;
  bool updateHandOver = false;   // started with "/update"
  bool previousRemains = false;  // the ".old" file could not be deleted within the bound
  std::uint32_t waitedMs = 0;    // time spent retrying the deletion
  std::uint32_t lockError = 0;   // the lock's error code when it was not held
};

// The program's arguments as CommandLineToArgvW splits a Windows command line: the program
// name first. A blank command line gives no elements.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

class CCorvaneApp {
 public:
  // The previous executable is normally gone within moments of the hand-over; one that
  // cannot be deleted at all (read-only, say) must not keep start-up waiting for ever, so
  // after this long the program starts anyway and leaves the file where it is.
  static constexpr std::uint32_t kUpdateWaitLimitMs = 30000;
  static constexpr std::uint32_t kUpdateRetryMs = 100;

  // `args` as SplitCommandLine gives them, the program name first.
  CCorvaneApp(AppHost& host, std::vector<std::string> args);

  // Runs the whole start-up and the dialog. Always false: the process ends afterwards.
  bool InitInstance();

  [[nodiscard]] const StartReport& report() const { return report_; }

 private:
  void finishUpdateHandOver();

  AppHost& host_;
  std::vector<std::string> args_;
  StartReport report_;
};

}  // namespace corvane
