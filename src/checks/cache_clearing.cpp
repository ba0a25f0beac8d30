#include "checks/cache_clearing.h"

#include <cstdint>
#include <memory>

#include "platform/browser_cache.h"
#include "platform/platform.h"
#include "platform/win_errors.h"

namespace corvane {
namespace {

// The header-data slot whose increment tells the Internet stack the SSL state changed.
constexpr std::uint32_t kSslStateSlot = 14;
// 8 (temporary Internet files) + 256 (keep the data of favourite web sites).
constexpr std::string_view kClearTracksCommand = "Rundll32 InetCpl.cpl ClearMyTracksByProcess 264";

void DeleteEntry(BrowserCache& cache, const UrlCacheEntry& entry) {
  if (cache.DeleteEntry(entry.sourceUrl) == win::kErrorSuccess) return;
  cache.UnlockEntryFile(entry.sourceUrl);
  cache.DeleteEntry(entry.sourceUrl);
}

}  // namespace

bool ClearSslState() {
  BrowserCache& cache = CurrentPlatform().browserCache();
  const std::unique_ptr<CacheLibrary> schannel = cache.LoadCacheLibrary("schannel.dll");
  const std::unique_ptr<CacheLibrary> wininet = cache.LoadCacheLibrary("wininet.dll");
  if (schannel == nullptr || !schannel->SslEmptyCache(0).value_or(false)) return false;
  std::uint32_t value = 0;
  return wininet != nullptr &&
         wininet->IncrementUrlCacheHeaderData(kSslStateSlot, value).value_or(false);
}

bool ClearBrowserCache() {
  BrowserCache& cache = CurrentPlatform().browserCache();
  {
    const std::unique_ptr<CacheLibrary> controlPanel = cache.LoadCacheLibrary("InetCpl.cpl");
    if (controlPanel != nullptr && controlPanel->HasExport("ClearMyTracksByProcessW")) {
      // Whether it started cannot be told from its work, so it is not asked.
      cache.StartHidden(kClearTracksCommand);
      return true;
    }
  }
  return DeleteCacheEntries();
}

bool DeleteCacheEntries() {
  BrowserCache& cache = CurrentPlatform().browserCache();
  std::uint32_t size = 0;
  UrlCacheEntry entry;
  std::unique_ptr<UrlCacheFind> find;
  std::uint32_t error = cache.FindFirstEntry(win::kNormalCacheEntry, size, entry, find);
  if (error == win::kErrorNoMoreItems) return true;
  if (error != win::kErrorSuccess) {
    error = cache.FindFirstEntry(win::kNormalCacheEntry, size, entry, find);
    if (error != win::kErrorSuccess || find == nullptr) return true;  // nothing to walk
  }
  while (true) {
    DeleteEntry(cache, entry);
    std::uint32_t capacity = size;
    error = cache.FindNextEntry(*find, size, entry);
    // A short buffer grows to what the entry needs; a report that is no larger would ask
    // the same again, so it ends the walk like any other failure.
    while (error == win::kErrorInsufficientBuffer && size > capacity) {
      capacity = size;
      error = cache.FindNextEntry(*find, size, entry);
    }
    if (error != win::kErrorSuccess) break;
  }
  return true;
}

}  // namespace corvane
