#pragma once

// The cache libraries, the hidden start and WinINet's URL cache (narrow functions) as the
// real Windows calls.

#include "platform/browser_cache.h"

namespace corvane::win32 {

class Win32BrowserCache final : public BrowserCache {
 public:
  std::unique_ptr<CacheLibrary> LoadCacheLibrary(std::string_view name) override;
  std::uint32_t StartHidden(std::string_view commandLine) override;
  std::uint32_t FindFirstEntry(std::uint32_t filter, std::uint32_t& size, UrlCacheEntry& entry,
                               std::unique_ptr<UrlCacheFind>& find) override;
  std::uint32_t FindNextEntry(UrlCacheFind& find, std::uint32_t& size,
                              UrlCacheEntry& entry) override;
  std::uint32_t DeleteEntry(std::string_view sourceUrl) override;
  std::uint32_t UnlockEntryFile(std::string_view sourceUrl) override;
};

}  // namespace corvane::win32
