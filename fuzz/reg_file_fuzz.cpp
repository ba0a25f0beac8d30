// The .reg hive parser on arbitrary input: it must never crash, and whatever it accepts must
// be written back as text that reads into the same tree and is written the same again.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/emulated/reg_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace corvane::emulated;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const RegParseResult first = ParseRegFile(text, "HKEY_CURRENT_USER");
  if (!first.ok()) {
    if (first.errorLine >
        static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1) {
      std::abort();  // an error must point at a line of the input
    }
    return 0;
  }
  const std::string written = WriteRegFile(*first.root, "fuzz");
  const RegParseResult second = ParseRegFile(written, "HKEY_CURRENT_USER");
  if (!second.ok() || !SameRegTree(*first.root, *second.root)) std::abort();
  if (WriteRegFile(*second.root, "fuzz") != written) std::abort();
  return 0;
}
