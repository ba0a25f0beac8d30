#pragma once

// How the page's URL reaches the desktop's browser without its secret ever being in a
// process's arguments or environment, both of which every local user can read in /proc: a
// small HTML file that only the user can read, in a private folder, redirects to the URL, and
// the browser is started on the file's path.
//
// Decisions:
// - The folder is a fresh mkdtemp folder (0700) under $XDG_RUNTIME_DIR when that is the
//   user's own private folder, else under $TMPDIR or /tmp, which must be sticky when others
//   may write to them (else another user could swap the folder for one of theirs).
// - The file is written through the folder's descriptor (O_EXCL, O_NOFOLLOW, 0600), and is
//   removed with its folder once the page has arrived or the host ends, whichever is first.

#include <filesystem>
#include <string>
#include <string_view>

namespace corvane::browser {

// The launcher's content: opens `url` at once (meta refresh and script, a link as fallback).
std::string LauncherHtml(std::string_view url);

// Owns the launcher of one URL: written when constructed, removed when destroyed.
class PageLauncher {
 public:
  explicit PageLauncher(std::string_view url);
  PageLauncher(const PageLauncher&) = delete;
  PageLauncher& operator=(const PageLauncher&) = delete;
  PageLauncher(PageLauncher&&) = delete;
  PageLauncher& operator=(PageLauncher&&) = delete;
  ~PageLauncher() { remove(); }

  // The launcher's path; empty when no private folder could be made or written.
  [[nodiscard]] const std::filesystem::path& file() const { return file_; }
  [[nodiscard]] const std::filesystem::path& folder() const { return folder_; }
  // Removes the file and its folder (again: nothing).
  void remove();

 private:
  std::filesystem::path folder_;
  std::filesystem::path file_;
};

// Starts `xdg-open <file>` in the background with the host's own environment (no shell
// parsing of the path); false when it cannot be started.
[[nodiscard]] bool OpenWithDesktop(const std::filesystem::path& file);

}  // namespace corvane::browser
