// The compatibility-view list ("UserFilter") reader and extender on arbitrary values. Input:
// one byte n, n bytes of domain, then the value. Nothing may be read past the value; a value
// taken as a list must stay one after a record is added, with the header describing it and
// the domain found; any other value must be left alone.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "checks/user_filter.h"

namespace {

std::uint32_t U32At(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  return bytes[offset] | (bytes[offset + 1] << 8U) | (bytes[offset + 2] << 16U) |
         (static_cast<std::uint32_t>(bytes[offset + 3]) << 24U);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace corvane;
  if (size == 0) return 0;
  const std::size_t domainSize = data[0];
  if (size < 1 + domainSize) return 0;
  const std::string_view domain(reinterpret_cast<const char*>(data + 1), domainSize);
  // Exactly the value's bytes on the heap, so a read past them is caught.
  const std::vector<std::uint8_t> value(data + 1 + domainSize, data + size);

  const bool usable = IsUsableUserFilter(value);
  const bool found = UserFilterHasDomain(value, domain);
  if (found && !usable) std::abort();

  std::vector<std::uint8_t> extended = value;
  const bool appended = AppendUserFilterRecord(extended, domain, UserFilterStampAt(0));
  if (appended != usable) std::abort();
  if (!appended) {
    if (extended != value) std::abort();
    return 0;
  }
  if (extended.size() != value.size() + 18 + 2 * domain.size()) std::abort();
  if (!IsUsableUserFilter(extended) || !UserFilterHasDomain(extended, domain)) std::abort();
  if (U32At(extended, 8) != U32At(value, 8) + 1 || U32At(extended, 20) != U32At(extended, 8) ||
      U32At(extended, 12) != extended.size() - 12) {
    std::abort();
  }
  // Everything else of the old value stays: the header's other fields and every record.
  for (std::size_t i = 0; i < value.size(); ++i) {
    const bool field = (i >= 8 && i < 16) || (i >= 20 && i < 24);
    if (!field && extended[i] != value[i]) std::abort();
  }
  return 0;
}
