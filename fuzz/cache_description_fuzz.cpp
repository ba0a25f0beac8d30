// The emulated PC's cache.ini and urlcache.txt readers on arbitrary input: never a crash,
// every error names a line of the input, and the cache index written back reads as the same
// entries (so deleting one entry never changes another).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/emulated/emulated_browser_cache.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);  // NOLINT

  const auto description = corvane::emulated::ParseCacheLibraries(text, "cache.ini");
  for (std::size_t at = 0; at < description.error.size();) {
    if (description.error.compare(at, 10, "cache.ini:") != 0) std::abort();
    const std::size_t end = description.error.find('\n', at);
    if (end == std::string::npos) std::abort();
    at = end + 1;
  }

  const auto lines = corvane::emulated::ParseUrlCacheIndex(text);
  const auto again =
      corvane::emulated::ParseUrlCacheIndex(corvane::emulated::WriteUrlCacheIndex(lines));
  std::size_t valid = 0;
  std::size_t validAgain = 0;
  for (const auto& line : lines) valid += line.valid ? 1 : 0;
  for (const auto& line : again) validAgain += line.valid ? 1 : 0;
  if (valid != validAgain) std::abort();
  for (std::size_t i = 0, j = 0; i < lines.size() && j < again.size(); ++i, ++j) {
    if (lines[i].valid != again[j].valid) std::abort();
    if (lines[i].valid && (lines[i].url != again[j].url || lines[i].file != again[j].file ||
                           lines[i].type != again[j].type || lines[i].locked != again[j].locked)) {
      std::abort();
    }
  }
  return 0;
}
