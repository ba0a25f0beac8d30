// The regedit export reader on arbitrary bytes: it must never crash, an error must point at
// a line of the input, and whatever it merges into hives must be a tree the hive files can
// hold (written and read back the same).

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "platform/emulated/reg_file.h"
#include "platform/emulated/regedit_import.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace corvane::emulated;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const RegImportParse parsed = ParseRegeditExport(bytes);
  if (!parsed.ok()) {
    if (parsed.errorLine == 0 || parsed.errorLine > size + 1) std::abort();
    return 0;
  }
  static constexpr std::array<std::string_view, 3> kRoots = {
      "HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER", "HKEY_CLASSES_ROOT"};
  std::array<std::shared_ptr<RegNode>, 3> hives;
  for (std::size_t i = 0; i < hives.size(); ++i) {
    hives[i] = std::make_shared<RegNode>();
    hives[i]->name = std::string(kRoots[i]);
  }
  if (ApplyRegImport(parsed.operations, hives)) return 0;
  for (std::size_t i = 0; i < hives.size(); ++i) {
    const RegParseResult back = ParseRegFile(WriteRegFile(*hives[i]), kRoots[i]);
    if (!back.ok() || !SameRegTree(*hives[i], *back.root)) std::abort();
  }
  return 0;
}
