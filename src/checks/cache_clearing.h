#pragma once

// Repairs 12 and 16: the SSL state cache and the browser's temporary Internet files, through
// the platform's cache libraries and URL cache (platform/browser_cache.h).

namespace corvane {

// SslEmptyCacheW of "schannel.dll", then, only when that succeeded,
// IncrementUrlCacheHeaderData(14) of "wininet.dll" (tells the Internet stack the SSL state
// changed). True only when both were found and succeeded.
bool ClearSslState();

// When "InetCpl.cpl" loads and exports "ClearMyTracksByProcessW": starts
// "Rundll32 InetCpl.cpl ClearMyTracksByProcess 264" hidden, without waiting, and returns
// true whether or not it started. Otherwise DeleteCacheEntries().
bool ClearBrowserCache();

// Deletes every normal entry of the URL cache (unlocking an entry whose deletion fails and
// trying once more), growing the entry buffer as the cache asks. The walk ends at the end of
// the list or at any failure other than a short buffer; a first request that fails twice
// counts as an empty cache. Always true: entries that cannot be deleted stay.
bool DeleteCacheEntries();

}  // namespace corvane
