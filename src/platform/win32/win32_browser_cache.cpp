#include "platform/win32/win32_browser_cache.h"

#include <string>
#include <vector>

#include "platform/win32/win32_util.h"

namespace corvane::win32 {
namespace {

using SslEmptyCacheFn = BOOL(WINAPI*)(LPWSTR, DWORD);
using IncrementUrlCacheHeaderDataFn = BOOL(WINAPI*)(DWORD, LPDWORD);

class Win32CacheLibrary final : public CacheLibrary {
 public:
  explicit Win32CacheLibrary(UniqueModule module) : module_(std::move(module)) {}

  bool HasExport(std::string_view name) override { return Find(std::string(name)) != nullptr; }

  std::optional<bool> SslEmptyCache(std::uint32_t flags) override {
    const auto call = reinterpret_cast<SslEmptyCacheFn>(Find("SslEmptyCacheW"));  // NOLINT
    if (call == nullptr) return std::nullopt;
    return call(nullptr, flags) != FALSE;
  }

  std::optional<bool> IncrementUrlCacheHeaderData(std::uint32_t index,
                                                  std::uint32_t& value) override {
    const auto call = reinterpret_cast<IncrementUrlCacheHeaderDataFn>(  // NOLINT
        Find("IncrementUrlCacheHeaderData"));
    if (call == nullptr) return std::nullopt;
    DWORD newValue = 0;
    const bool ok = call(index, &newValue) != FALSE;
    value = newValue;
    return ok;
  }

 private:
  // Through void* so that the cast to the export's own type is not a function-type cast.
  void* Find(const std::string& name) const {
    return reinterpret_cast<void*>(::GetProcAddress(module_.get(), name.c_str()));  // NOLINT
  }

  UniqueModule module_;
};

void CloseFind(HANDLE find) { ::FindCloseUrlCache(find); }
using UniqueUrlCacheFind = UniqueAny<HANDLE, &CloseFind>;

class Win32UrlCacheFind final : public UrlCacheFind {
 public:
  explicit Win32UrlCacheFind(HANDLE handle) : handle(handle) {}
  UniqueUrlCacheFind handle;
};

// A buffer of `size` bytes aligned for INTERNET_CACHE_ENTRY_INFOA; none for 0.
struct EntryBuffer {
  explicit EntryBuffer(std::uint32_t size)
      : words((size + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t)) {}
  LPINTERNET_CACHE_ENTRY_INFOA get() {
    return words.empty() ? nullptr
                         : reinterpret_cast<LPINTERNET_CACHE_ENTRY_INFOA>(words.data());  // NOLINT
  }
  std::vector<std::uint64_t> words;
};

void Read(const INTERNET_CACHE_ENTRY_INFOA& info, UrlCacheEntry& entry) {
  entry.sourceUrl = info.lpszSourceUrlName != nullptr ? info.lpszSourceUrlName : "";
  entry.localFileName = info.lpszLocalFileName != nullptr ? info.lpszLocalFileName : "";
  entry.entryType = info.CacheEntryType;
}

}  // namespace

std::unique_ptr<CacheLibrary> Win32BrowserCache::LoadCacheLibrary(std::string_view name) {
  UniqueModule module(::LoadLibraryW(Wide(name).c_str()));
  if (!module.valid()) return nullptr;
  return std::make_unique<Win32CacheLibrary>(std::move(module));
}

std::uint32_t Win32BrowserCache::StartHidden(std::string_view commandLine) {
  const std::string text(commandLine);
  const UINT started = ::WinExec(text.c_str(), SW_HIDE);
  if (started > 31) return 0;
  return started == 0 ? static_cast<std::uint32_t>(ERROR_NOT_ENOUGH_MEMORY) : started;
}

std::uint32_t Win32BrowserCache::FindFirstEntry(std::uint32_t filter, std::uint32_t& size,
                                                UrlCacheEntry& entry,
                                                std::unique_ptr<UrlCacheFind>& find) {
  find.reset();
  EntryBuffer buffer(size);
  DWORD bytes = size;
  HANDLE handle = ::FindFirstUrlCacheEntryExA(nullptr, 0, filter, 0, buffer.get(), &bytes, nullptr,
                                              nullptr, nullptr);
  if (handle == nullptr) {
    const std::uint32_t error = LastError();
    size = bytes;
    return error;
  }
  find = std::make_unique<Win32UrlCacheFind>(handle);
  Read(*buffer.get(), entry);
  return 0;
}

std::uint32_t Win32BrowserCache::FindNextEntry(UrlCacheFind& find, std::uint32_t& size,
                                               UrlCacheEntry& entry) {
  auto* ours = dynamic_cast<Win32UrlCacheFind*>(&find);
  if (ours == nullptr) return ERROR_INVALID_HANDLE;
  EntryBuffer buffer(size);
  DWORD bytes = size;
  if (::FindNextUrlCacheEntryExA(ours->handle.get(), buffer.get(), &bytes, nullptr, nullptr,
                                 nullptr) == FALSE) {
    const std::uint32_t error = LastError();
    size = bytes;
    return error;
  }
  Read(*buffer.get(), entry);
  return 0;
}

std::uint32_t Win32BrowserCache::DeleteEntry(std::string_view sourceUrl) {
  return ::DeleteUrlCacheEntryA(std::string(sourceUrl).c_str()) != FALSE ? 0 : LastError();
}

std::uint32_t Win32BrowserCache::UnlockEntryFile(std::string_view sourceUrl) {
  return ::UnlockUrlCacheEntryFileA(std::string(sourceUrl).c_str(), 0) != FALSE ? 0 : LastError();
}

}  // namespace corvane::win32
