// The registrable-file description on arbitrary input: it must never crash, and every class
// it accepts must be a braced GUID that appears in the input.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/emulated/registrable_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto classes = corvane::emulated::ParseRegistrableFile(text);
  if (!classes) return 0;
  if (classes->empty()) std::abort();
  for (const auto& clsid : *classes) {
    if (clsid.size() != 38 || clsid.front() != '{' || clsid.back() != '}') std::abort();
    if (text.find(clsid) == std::string_view::npos) std::abort();
  }
  return 0;
}
