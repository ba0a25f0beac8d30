// corvane: the system with one of its hosts. On Windows the program's own window shows the
// page in the browser control (windows/window_host.h). The terminal host, its automation interface,
// shows the page as text, runs page commands given on the command line and writes a
// transcript; the browser host serves the page to a web browser.

#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/corvane_app.h"
#include "hosts/browser/browser_host.h"
#include "hosts/common/options.h"
#include "hosts/program_os.h"
#include "hosts/terminal/terminal_host.h"
#include "hosts/windows/window_host.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/platform.h"

namespace corvane::program {
namespace {

// The running program file's version, as the self-update reads it: "a.b.c.d", or "" when
// the file has none.
std::string ProgramFileVersion() {
  FixedFileVersion version;
  if (CurrentPlatform().files().fixedFileVersion(CurrentPlatform().environment().modulePath(),
                                                 version) != 0) {
    return "";
  }
  return std::to_string(version.fileVersionMS >> 16U) + "." +
         std::to_string(version.fileVersionMS & 0xFFFFU) + "." +
         std::to_string(version.fileVersionLS >> 16U) + "." +
         std::to_string(version.fileVersionLS & 0xFFFFU);
}

class ProgramHost final : public AppHost {
 public:
  ProgramHost(const hosts::HostOptions& options, std::ostream* transcript)
      : options_(options), transcript_(transcript) {}

  void setApp(const CCorvaneApp* app) { app_ = app; }
  // The host's own status: 0, or why the window could not show the page.
  [[nodiscard]] int status() const { return status_; }

  void runDialog() override {
    // A start by a self-update says so first, with how long it waited for the old instance.
    if (app_ != nullptr && app_->report().updateHandOver && transcript_ != nullptr) {
      const StartReport& report = app_->report();
      *transcript_ << R"({"t":0,"start":"/update","waitedMs":)" << report.waitedMs
                   << R"(,"previousRemains":)" << (report.previousRemains ? "true" : "false")
                   << R"(,"programVersion":")" << ProgramFileVersion() << "\"}\n"
                   << std::flush;
    }
    if (options_.ui == hosts::UiMode::kBrowser) {
      browser::RunBrowserHost(options_, transcript_);
    } else if (options_.ui == hosts::UiMode::kWindow) {
      status_ = windows::RunWindowHost(options_, transcript_);
    } else {
      terminal::RunTerminalHost(options_, transcript_);
    }
  }

 private:
  const hosts::HostOptions& options_;
  std::ostream* transcript_;
  const CCorvaneApp* app_ = nullptr;
  int status_ = 0;
};

int Main(int argc, char** argv) {
  const std::vector<std::string> args = ProgramArguments(argc, argv);
  const hosts::ParsedOptions parsed = hosts::ParseOptions(
      args.empty() ? args : std::vector<std::string>(args.begin() + 1, args.end()));
  PrepareConsole(parsed.error.empty() && !parsed.options.help &&
                 parsed.options.ui == hosts::UiMode::kTerminal);
  if (!parsed.error.empty()) {
    std::cerr << "corvane: " << parsed.error << '\n' << hosts::UsageText();
    return 2;
  }
  const hosts::HostOptions& options = parsed.options;
  if (options.help) {
    std::cout << hosts::UsageText();
    return 0;
  }
  if (options.ui == hosts::UiMode::kBrowser && !browser::BrowserHostBuilt()) {
    std::cerr << "corvane: this build has no browser host\n";
    return 2;
  }
  if (options.ui == hosts::UiMode::kWindow && !windows::WindowHostBuilt()) {
    std::cerr << "corvane: the window host is Windows only\n";
    return 2;
  }
  std::unique_ptr<ScopedPlatform> platform;
  if (!InstallPlatform(options, platform)) return 2;

  std::ofstream transcriptFile;
  if (!options.transcript.empty()) {
    // An instance restarted by a self-update carries on the transcript of the one that
    // started it, which writes nothing more once this one's dialog runs.
    const bool handOver = args.size() >= 2 && args[1] == "/update";
    transcriptFile.open(std::filesystem::path(options.transcript),
                        std::ios::binary | (handOver ? std::ios::app : std::ios::trunc));
    if (!transcriptFile) {
      std::cerr << "corvane: cannot write the transcript " << options.transcript << '\n';
      return 2;
    }
  }

  ProgramHost host(options, options.transcript.empty() ? nullptr : &transcriptFile);
  CCorvaneApp app(host, args);
  host.setApp(&app);
  app.InitInstance();
  if (app.report().outcome == StartOutcome::kAnotherInstance) {
    return EndForAnotherInstance(options);
  }
  if (app.report().outcome == StartOutcome::kLockFailed) {
    std::cerr << "corvane: the single-instance lock could not be made (error "
              << app.report().lockError << ")\n";
    return 1;
  }
  return host.status();
}

}  // namespace
}  // namespace corvane::program

int main(int argc, char** argv) { return corvane::program::Main(argc, argv); }
