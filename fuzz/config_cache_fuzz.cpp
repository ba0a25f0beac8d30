// The local copy of the configuration on arbitrary file contents, on a scratch emulated PC:
// reading never crashes and returns every byte, writing the text back gives the same file,
// and the decoded text goes through the parser as a start without network would send it.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "config/config_cache.h"
#include "config/parse_check_config.h"
#include "emulated/scratch_machine.h"
#include "platform/emulated/emulated_platform.h"
#include "platform/file_system.h"
#include "platform/platform.h"

namespace {

using namespace corvane;

// One machine for the whole run: creating a PC per input would drown the code under test.
struct FuzzMachine {
  emulated::ScratchMachine machine;
  ScopedPlatform platform{std::make_unique<emulated::EmulatedPlatform>(machine.folder().root())};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static FuzzMachine fuzz;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  FileSystem& files = CurrentPlatform().files();
  (void)files.setAttributes(kConfigCachePath, win::kFileAttributeNormal);
  if (files.writeFile(kConfigCachePath, bytes) != 0) std::abort();

  const std::string text = LoadConfigCache();
  if (text.size() != size || text != DecodeConfigCache(bytes)) std::abort();
  std::string again = text;
  ScrambleText(again);
  if (again != bytes) std::abort();

  if (SaveConfigCache(text) != 0) std::abort();
  std::string stored;
  (void)files.setAttributes(kConfigCachePath, win::kFileAttributeNormal);
  if (files.readFile(kConfigCachePath, stored) != 0 || stored != bytes) std::abort();

  CheckConfig config;
  (void)ParseCheckConfig(config, text);
  return 0;
}
