#pragma once

// What clearing the browser's caches needs: the libraries that hold the cache functions,
// loaded at run time by name ("schannel.dll", "wininet.dll", "InetCpl.cpl"), a command started
// hidden and not awaited (WinExec with SW_HIDE), and WinINet's URL cache through its narrow
// (ANSI) functions. Windows: the real calls. The emulated PC: its cache.ini says which of
// these libraries and exports exist and whether the calls succeed, and its URL cache is the
// files of the user's Temporary Internet Files folder listed in urlcache.txt (see
// emulated/emulated_browser_cache.h).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

namespace win {
inline constexpr std::uint32_t kNormalCacheEntry = 0x00000001;
inline constexpr std::uint32_t kCookieCacheEntry = 0x00100000;
inline constexpr std::uint32_t kUrlHistoryCacheEntry = 0x00200000;
}  // namespace win

// A library loaded with LoadLibrary; freed when destroyed.
class CacheLibrary {
 public:
  CacheLibrary() = default;
  CacheLibrary(const CacheLibrary&) = delete;
  CacheLibrary& operator=(const CacheLibrary&) = delete;
  CacheLibrary(CacheLibrary&&) = delete;
  CacheLibrary& operator=(CacheLibrary&&) = delete;
  virtual ~CacheLibrary() = default;

  // GetProcAddress found `name`.
  virtual bool HasExport(std::string_view name) = 0;
  // Calls through this library's export "SslEmptyCacheW" (no target name): its BOOL, or
  // nothing when the library does not export it.
  virtual std::optional<bool> SslEmptyCache(std::uint32_t flags) = 0;
  // Calls through "IncrementUrlCacheHeaderData": its BOOL and the new value, or nothing when
  // the library does not export it.
  virtual std::optional<bool> IncrementUrlCacheHeaderData(std::uint32_t index,
                                                          std::uint32_t& value) = 0;
};

// An open URL cache enumeration (FindFirstUrlCacheEntryEx's handle); FindCloseUrlCache when
// destroyed.
class UrlCacheFind {
 public:
  UrlCacheFind() = default;
  UrlCacheFind(const UrlCacheFind&) = delete;
  UrlCacheFind& operator=(const UrlCacheFind&) = delete;
  UrlCacheFind(UrlCacheFind&&) = delete;
  UrlCacheFind& operator=(UrlCacheFind&&) = delete;
  virtual ~UrlCacheFind() = default;
};

// What INTERNET_CACHE_ENTRY_INFOA tells about an entry, as far as the system uses it.
struct UrlCacheEntry {
  std::string sourceUrl;
  std::string localFileName;
  std::uint32_t entryType = 0;
};

class BrowserCache {
 public:
  BrowserCache() = default;
  BrowserCache(const BrowserCache&) = delete;
  BrowserCache& operator=(const BrowserCache&) = delete;
  BrowserCache(BrowserCache&&) = delete;
  BrowserCache& operator=(BrowserCache&&) = delete;
  virtual ~BrowserCache() = default;

  // LoadLibrary(name); null when it cannot be loaded.
  virtual std::unique_ptr<CacheLibrary> LoadCacheLibrary(std::string_view name) = 0;
  // WinExec(commandLine, SW_HIDE): 0 when the command started (it is not awaited), otherwise
  // a Windows error.
  virtual std::uint32_t StartHidden(std::string_view commandLine) = 0;

  // FindFirstUrlCacheEntryExA(no pattern, flags 0, filter, group 0, a buffer of `size`
  // bytes (none when 0), &size). 0: `find` holds the enumeration and `entry` the first
  // entry. Otherwise the Windows error: ERROR_NO_MORE_ITEMS for an empty cache,
  // ERROR_INSUFFICIENT_BUFFER with `size` set to the bytes the entry needs.
  virtual std::uint32_t FindFirstEntry(std::uint32_t filter, std::uint32_t& size,
                                       UrlCacheEntry& entry,
                                       std::unique_ptr<UrlCacheFind>& find) = 0;
  // FindNextUrlCacheEntryExA with a buffer of `size` bytes, as FindFirstEntry reports.
  virtual std::uint32_t FindNextEntry(UrlCacheFind& find, std::uint32_t& size,
                                      UrlCacheEntry& entry) = 0;
  // DeleteUrlCacheEntryA: 0 or the Windows error (a locked entry cannot be deleted).
  virtual std::uint32_t DeleteEntry(std::string_view sourceUrl) = 0;
  // UnlockUrlCacheEntryFileA(url, 0): 0 or the Windows error.
  virtual std::uint32_t UnlockEntryFile(std::string_view sourceUrl) = 0;
};

}  // namespace corvane
