#include "app/acquire_config.h"

#include <string_view>

#include "config/parse_check_config.h"
#include "platform/resources.h"

namespace corvane {

AcquiredConfig AcquireConfig(PromptHost& /*prompts*/, std::stop_token /*stop*/) {
  AcquiredConfig result;
  const std::vector<std::uint8_t> text = LoadResourceBytes("ITEM.XML", win::kRtHtml);
  if (text.empty()) return result;
  ParseCheckConfig(result.model,
                   std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
  result.serverConfigApplied = false;
  return result;
}

}  // namespace corvane
