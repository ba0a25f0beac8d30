#pragma once

// The browser's caches on the emulated PC.
//
// cache.ini in the machine folder says which cache libraries the PC has, which of their
// exports exist and whether a call through them succeeds; a missing file is created with the
// Windows 7 default, where all three libraries export what the system uses and the calls
// succeed:
//
//   [schannel.dll]                     a section: the library loads
//   SslEmptyCacheW = yes               an export; yes: the call succeeds, no: it fails
//   [wininet.dll]
//   IncrementUrlCacheHeaderData = yes
//   [InetCpl.cpl]
//   ClearMyTracksByProcessW = yes
//
// Library and export names compare without regard to case, as LoadLibrary's and unlike
// GetProcAddress's, which this follows: exports compare exactly. Lines starting with ; or #
// are comments.
//
// The URL cache is the files of the user's "Temporary Internet Files" folder
// (%LOCALAPPDATA%\Microsoft\Windows\Temporary Internet Files) that the folder's urlcache.txt
// lists, one entry a line:
//
//   <source URL> TAB <file below the folder> [TAB <flags>]
//
// flags, separated by commas: "cookie" or "history" (the entry's type; otherwise a normal
// entry), "locked" (its file is in use: deleting the entry fails until it is unlocked).
// Deleting an entry deletes its file and its line. Lines that cannot be read are kept as
// they are and list no entry. The hidden start runs the command as Processes::run does,
// without waiting.

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/browser_cache.h"
#include "platform/emulated/machine_folder.h"

namespace corvane {
class Environment;
class Processes;
}  // namespace corvane

namespace corvane::emulated {

// cache.ini read: the libraries by name (case folded to lower) with their exports and
// whether calls through them succeed.
struct CacheLibrariesDescription {
  std::map<std::string, std::map<std::string, bool>> libraries;
  std::string error;  // "<file>:<line>: ..." per bad line; empty when all is well
};
CacheLibrariesDescription ParseCacheLibraries(std::string_view text, std::string_view fileName);
std::string DefaultCacheLibrariesText();

// One line of urlcache.txt.
struct UrlCacheIndexLine {
  std::string text;  // the line as it stands, without its LF
  bool valid = false;
  std::string url;
  std::string file;  // relative to the cache folder, backslashes
  std::uint32_t type = win::kNormalCacheEntry;
  bool locked = false;
};
std::vector<UrlCacheIndexLine> ParseUrlCacheIndex(std::string_view text);
std::string WriteUrlCacheIndex(const std::vector<UrlCacheIndexLine>& lines);
// The bytes INTERNET_CACHE_ENTRY_INFOA takes for an entry (the 32-bit record, then its texts).
std::uint32_t UrlCacheEntrySize(std::string_view url, std::string_view localFileName);

class EmulatedBrowserCache final : public BrowserCache {
 public:
  // environment and processes must outlive this object.
  EmulatedBrowserCache(MachineFolder folder, const Environment& environment, Processes& processes);

  std::unique_ptr<CacheLibrary> LoadCacheLibrary(std::string_view name) override;
  std::uint32_t StartHidden(std::string_view commandLine) override;
  std::uint32_t FindFirstEntry(std::uint32_t filter, std::uint32_t& size, UrlCacheEntry& entry,
                               std::unique_ptr<UrlCacheFind>& find) override;
  std::uint32_t FindNextEntry(UrlCacheFind& find, std::uint32_t& size,
                              UrlCacheEntry& entry) override;
  std::uint32_t DeleteEntry(std::string_view sourceUrl) override;
  std::uint32_t UnlockEntryFile(std::string_view sourceUrl) override;

  // Where the cache's files and urlcache.txt are, on the host and as Windows names it.
  [[nodiscard]] std::filesystem::path cacheFolder() const;
  [[nodiscard]] std::string cacheFolderWindows() const;
  [[nodiscard]] const std::string& loadError() const { return description_.error; }

 private:
  std::vector<UrlCacheIndexLine> readIndex() const;
  bool writeIndex(const std::vector<UrlCacheIndexLine>& lines) const;

  MachineFolder folder_;
  const Environment& environment_;
  Processes& processes_;
  CacheLibrariesDescription description_;
};

}  // namespace corvane::emulated
