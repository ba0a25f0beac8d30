#pragma once

// Local paths that the configuration derives: expanded `local` paths of files and the paths
// in the DownTmp folder where downloads are stored.

#include <string>
#include <string_view>

namespace corvane {

// `text` with its %NAME% environment references expanded, whole whatever its length.
std::string ExpandPathAnsi(std::string_view text);

// The folder DownTmp of the user's temporary folder, where downloads are stored (not created
// here).
std::string DownloadFolder();

// Where a download of `url` is stored: a file directly inside the folder DownTmp of the
// user's temporary folder, which is created when missing. Empty for an empty url.
std::string DownloadPathFor(std::string_view url);

// The file name DownloadPathFor uses for `url`. The configuration comes from outside, so the
// name is made safe to be a single file name on Windows: only the last segment of the URL's
// path counts (query and fragment dropped, either slash a separator), characters Windows
// forbids in names become '_', trailing dots and spaces go, and device names (CON, NUL,
// COM1, ...) get a leading '_'. A URL without a usable name gets "download-" followed by the
// first 8 hexadecimal digits of the URL's MD5.
std::string DownloadFileName(std::string_view url);

}  // namespace corvane
