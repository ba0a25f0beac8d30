#include "config/acquire_config.h"

#include <string>
#include <string_view>

#include "bank/bank_values.h"
#include "config/config_cache.h"
#include "config/parse_check_config.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/resources.h"
#include "support/http_fetch.h"

namespace corvane {
namespace {

// The document parsed into a fresh model: one that does not parse leaves nothing behind.
bool Parse(std::string_view text, CheckConfig& model) {
  CheckConfig parsed;
  if (text.empty() || !ParseCheckConfig(parsed, text) || !parsed.configLoaded) return false;
  model = std::move(parsed);
  return true;
}

std::string BuiltInConfig() {
  const std::vector<std::uint8_t> bytes = LoadResourceBytes("ITEM.XML", win::kRtHtml);
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

AcquiredConfig AcquireConfig(PromptHost& prompts, const std::stop_token& stop) {
  AcquiredConfig result;
  // The stop token reaches the download, so closing the window ends it within a second.
  FetchLimits limits;
  limits.total = kConfigDownloadLimit;
  const std::string downloaded = HttpFetch(limits).FetchText(bank::kConfigUrl, stop);
  if (Parse(downloaded, result.model)) {
    // The copy for the next start without network; a copy that cannot be written only
    // means that start uses the previous one.
    (void)SaveConfigCache(downloaded);
    result.fromServer = true;
    result.serverConfigApplied = true;
    return result;
  }
  if (stop.stop_requested()) return result;
  promptInfo(prompts, kConfigDownloadFailedText, kConfigDownloadFailedInstruction);
  if (stop.stop_requested()) return result;

  // A local copy that cannot be read or does not parse is as good as none.
  if (CurrentPlatform().files().exists(kConfigCachePath) &&
      Parse(LoadConfigCache(), result.model)) {
    result.serverConfigApplied = false;
    return result;
  }
  if (Parse(BuiltInConfig(), result.model)) result.serverConfigApplied = false;
  return result;
}

}  // namespace corvane
