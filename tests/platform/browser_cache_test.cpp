// The cache service against both backends: a new emulated PC has the libraries and exports
// of Windows 7, as a Wine prefix has them; a missing library does not load.

#include "platform/browser_cache.h"

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/win_errors.h"
#include "platform_under_test.h"

namespace corvane {
namespace {

TEST(BrowserCache, TheCacheLibrariesLoadByNameWithTheirExports) {
  const PlatformUnderTest machine;
  BrowserCache& cache = CurrentPlatform().browserCache();
  struct Case {
    const char* library;
    const char* exported;
  };
  for (const Case& c :
       {Case{"schannel.dll", "SslEmptyCacheW"}, Case{"wininet.dll", "IncrementUrlCacheHeaderData"},
        Case{"INETCPL.CPL", "ClearMyTracksByProcessW"}}) {
    SCOPED_TRACE(c.library);
    const std::unique_ptr<CacheLibrary> library = cache.LoadCacheLibrary(c.library);
    ASSERT_NE(library, nullptr);
    EXPECT_TRUE(library->HasExport(c.exported));
    EXPECT_FALSE(library->HasExport("NoSuchExport"));
  }
  EXPECT_EQ(cache.LoadCacheLibrary("corvane-no-such-library.dll"), nullptr);

  // Calls through an export the library lacks are not made.
  const std::unique_ptr<CacheLibrary> wininet = cache.LoadCacheLibrary("wininet.dll");
  ASSERT_NE(wininet, nullptr);
  EXPECT_FALSE(wininet->SslEmptyCache(0).has_value());
  const std::unique_ptr<CacheLibrary> schannel = cache.LoadCacheLibrary("schannel.dll");
  ASSERT_NE(schannel, nullptr);
  EXPECT_EQ(schannel->SslEmptyCache(0), std::optional<bool>(true));
}

TEST(BrowserCache, AnEmptyUrlCacheHandsOutNoEnumeration) {
  const PlatformUnderTest machine;
  BrowserCache& cache = CurrentPlatform().browserCache();
  std::uint32_t size = 0;
  UrlCacheEntry entry;
  std::unique_ptr<UrlCacheFind> find;
  // Windows: ERROR_NO_MORE_ITEMS; Wine's Ex function is a stub (ERROR_FILE_NOT_FOUND).
  EXPECT_NE(cache.FindFirstEntry(win::kNormalCacheEntry, size, entry, find), win::kErrorSuccess);
  EXPECT_EQ(find, nullptr);
  EXPECT_NE(cache.DeleteEntry("https://corvane.invalid/never-cached"), win::kErrorSuccess);
}

}  // namespace
}  // namespace corvane
