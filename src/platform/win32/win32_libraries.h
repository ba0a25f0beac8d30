#pragma once

// Run-time libraries with LoadLibraryW (full paths only) and GetProcAddress. Crashes inside
// callContained are contained by a vectored exception handler that is registered only for
// the call and acts only on hardware faults raised on the calling thread during it.

#include "platform/libraries.h"

namespace corvane::win32 {

class Win32Libraries final : public Libraries {
 public:
  std::uint32_t load(std::string_view fullPath, LibraryHandle* library) override;
  LibraryExport lookup(LibraryHandle library, std::string_view name) override;
  std::uint32_t callContained(void (*call)(void* context), void* context) override;
};

}  // namespace corvane::win32
