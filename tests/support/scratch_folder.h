#pragma once

// An empty folder of the current platform's file system for one test (in its temporary
// folder), listed and removed through the host's own calls so that the test sees every file
// the code under test left behind.

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/utf.h"
#include "platform/windows_path.h"

#if !defined(_WIN32)
#include "platform/emulated/emulated_file_system.h"
#endif

namespace corvane::testing {

class ScratchFolder {
 public:
  explicit ScratchFolder(std::string_view name) {
    path_ = CurrentPlatform().environment().tempFolder() + std::string(name);
    (void)CurrentPlatform().files().createDirectories(path_);
    host_ = HostPath(path_);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::permissions(host_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(host_, ignored);
  }

  [[nodiscard]] const std::string& path() const { return path_; }
  [[nodiscard]] std::string at(std::string_view name) const { return PathJoin(path_, name); }

  // The names in the folder, sorted.
  [[nodiscard]] std::vector<std::string> names() const {
    std::vector<std::string> out;
    std::error_code error;
    for (std::filesystem::directory_iterator it(host_, error), end; !error && it != end;
         it.increment(error)) {
      const std::u8string name = it->path().filename().u8string();
      out.emplace_back(name.begin(), name.end());
    }
    std::sort(out.begin(), out.end());
    return out;
  }

 private:
  static std::filesystem::path HostPath(const std::string& path) {
#if defined(_WIN32)
    const std::u16string wide = Utf8ToUtf16(path);
    return std::filesystem::path(std::wstring(wide.begin(), wide.end()));
#else
    auto& files = dynamic_cast<emulated::EmulatedFileSystem&>(CurrentPlatform().files());
    return files.hostPath(path);
#endif
  }

  std::string path_;
  std::filesystem::path host_;
};

}  // namespace corvane::testing
