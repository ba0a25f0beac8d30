#include "config/config_paths.h"

#include <algorithm>
#include <array>
#include <span>

#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/windows_path.h"
#include "support/md5.h"

namespace corvane {
namespace {

constexpr std::string_view kDownloadFolder = "DownTmp";

// Characters that Windows refuses in a file name, and '%', which has no business in a path
// that is later put into an installer's command template ("%1").
bool IsUnsafeNameChar(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte < 0x20) return true;
  return std::string_view(R"(<>:"/\|?*%)").find(c) != std::string_view::npos;
}

// CON, NUL, COM1 and the like name devices with any extension ("nul.exe" too), and Windows
// ignores trailing spaces before the extension when it checks.
bool IsDeviceName(std::string_view name) {
  std::string_view stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  static constexpr std::array<std::string_view, 6> kFixed = {"CON", "PRN",    "AUX",
                                                             "NUL", "CONIN$", "CONOUT$"};
  if (std::any_of(kFixed.begin(), kFixed.end(),
                  [&](std::string_view device) { return EqualsIgnoringCase(stem, device); })) {
    return true;
  }
  return stem.size() == 4 &&
         (EqualsIgnoringCase(stem.substr(0, 3), "COM") ||
          EqualsIgnoringCase(stem.substr(0, 3), "LPT")) &&
         stem[3] >= '1' && stem[3] <= '9';
}

std::string GeneratedName(std::string_view url) {
  Md5Context md5;
  md5.Update(url.data(), url.size());
  md5.Final();
  return "download-" + Md5Hex(std::span<const uint8_t, 16>(md5.digest)).substr(0, 8);
}

}  // namespace

std::string ExpandPathAnsi(std::string_view text) {
  if (text.empty()) return {};
  return CurrentPlatform().environment().expand(text);
}

std::string DownloadFileName(std::string_view url) {
  std::string_view rest = url.substr(0, url.find('#'));
  rest = rest.substr(0, rest.find('?'));
  // In an absolute URL the host is not a file name: only what follows it counts.
  if (const std::size_t scheme = rest.find("://"); scheme != std::string_view::npos) {
    const std::size_t path = rest.find_first_of("/\\", scheme + 3);
    rest = path == std::string_view::npos ? std::string_view() : rest.substr(path);
  }
  if (const std::size_t last = rest.find_last_of("/\\"); last != std::string_view::npos) {
    rest = rest.substr(last + 1);
  }
  std::string name(rest);
  std::replace_if(name.begin(), name.end(), IsUnsafeNameChar, '_');
  // Windows drops trailing dots and spaces, so "..", "." and "a. " would not name what
  // they seem to.
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
  if (name.empty()) return GeneratedName(url);
  if (IsDeviceName(name)) name.insert(0, 1, '_');
  return name;
}

std::string DownloadFolder() {
  return PathJoin(CurrentPlatform().environment().tempFolder(), kDownloadFolder);
}

std::string DownloadPathFor(std::string_view url) {
  if (url.empty()) return {};
  Platform& platform = CurrentPlatform();
  const std::string folder = DownloadFolder();
  // A folder that cannot be created is not an error here: the download into it fails later.
  if (!platform.files().exists(folder)) (void)platform.files().createDirectory(folder);
  return PathJoin(folder, DownloadFileName(url));
}

}  // namespace corvane
