// The version text of a configuration's appinfo, read into the two halves of a file version:
// any bytes read without a crash, and the halves read back the same from their own dotted
// form.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "update/self_update.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const corvane::RequiredVersion version = corvane::ParseRequiredVersion(text);
  const std::string dotted = std::to_string(version.high >> 16U) + "." +
                             std::to_string(version.high & 0xFFFFU) + "." +
                             std::to_string(version.low >> 16U) + "." +
                             std::to_string(version.low & 0xFFFFU);
  const corvane::RequiredVersion again = corvane::ParseRequiredVersion(dotted);
  if (again.high != version.high || again.low != version.low) std::abort();
  return 0;
}
