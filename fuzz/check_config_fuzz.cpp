// The configuration parser on arbitrary bytes, on a scratch emulated PC: it must never crash,
// and no download path that a document can derive may leave the DownTmp folder.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "config/parse_check_config.h"
#include "emulated/scratch_machine.h"
#include "platform/emulated/emulated_platform.h"
#include "platform/environment.h"
#include "platform/platform.h"
#include "platform/windows_path.h"

namespace {

using namespace corvane;

// One machine for the whole run: creating a PC per input would drown the parser's cost.
struct FuzzMachine {
  emulated::ScratchMachine machine;
  ScopedPlatform platform{std::make_unique<emulated::EmulatedPlatform>(machine.folder().root())};
  std::string downTmp = PathJoin(CurrentPlatform().environment().tempFolder(), "DownTmp");
};

bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name.back() == '.' || name.back() == ' ') return false;
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 0x20) return false;
    if (std::string_view(R"(<>:"/\|?*)").find(c) != std::string_view::npos) return false;
  }
  return true;
}

void CheckInDownTmp(const FuzzMachine& fuzz, std::string_view url, std::string_view path) {
  if (url.empty()) {
    if (!path.empty()) std::abort();
    return;
  }
  if (PathParent(path) != fuzz.downTmp) std::abort();
  if (!IsPlainFileName(PathFileName(path))) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static FuzzMachine fuzz;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  // The input as a URL of its own.
  CheckInDownTmp(fuzz, text, DownloadPathFor(text));

  CheckConfig config;
  if (!ParseCheckConfig(config, text)) {
    if (config.configLoaded || !config.items.empty() || !config.sections.empty()) std::abort();
    return 0;
  }
  if (!config.configLoaded) std::abort();
  for (const auto* list : {&config.items, &config.components}) {
    for (const CheckItem& item : *list) {
      for (const InstallerSpec& installer : item.installers) {
        CheckInDownTmp(fuzz, installer.url, installer.localPath);
      }
      // A file's `local` path may point anywhere by design; its download name may not.
      for (const FileSpec& file : item.files) {
        CheckInDownTmp(fuzz, file.url, DownloadPathFor(file.url));
      }
    }
  }
  CheckInDownTmp(fuzz, config.appInfo.remote, config.appInfo.localPath);
  return 0;
}
