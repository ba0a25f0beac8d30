// Feeds arbitrary bytes to the PE version-resource reader. Any crash or sanitizer report is
// a finding; so is a success whose fixed part lacks the VS_FIXEDFILEINFO signature.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "platform/pe_version.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  corvane::FixedFileVersion version;
  if (corvane::ReadPeFixedVersion(std::span(data, size), version) == 0 &&
      version.signature != 0xFEEF04BDU) {
    std::fprintf(stderr, "success without the fixed-info signature\n");
    std::abort();
  }
  return 0;
}
