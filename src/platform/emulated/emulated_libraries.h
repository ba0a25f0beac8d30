#pragma once

// Run-time libraries on the emulated PC. A library is a file on the machine's C: drive,
// reached by its full Windows path (host links refused, as everywhere on the drive). Windows
// libraries cannot be loaded here; a Linux shared object under the Windows name stands in
// for one: it is loaded with dlopen and its exports are looked up by name with dlsym, so the
// code that uses a library runs unchanged. Crashes inside callContained are contained with
// a signal handler for SIGSEGV, SIGBUS, SIGILL and SIGFPE that is installed only for the
// call (any earlier handler, a sanitizer's too, is put back afterwards).

#include "platform/emulated/drive_c.h"
#include "platform/emulated/machine_folder.h"
#include "platform/libraries.h"

namespace corvane {
class Environment;
}

namespace corvane::emulated {

class EmulatedLibraries final : public Libraries {
 public:
  // environment gives the current directory; it must outlive this object.
  EmulatedLibraries(const MachineFolder& folder, const Environment& environment);

  std::uint32_t load(std::string_view fullPath, LibraryHandle* library) override;
  LibraryExport lookup(LibraryHandle library, std::string_view name) override;
  std::uint32_t callContained(void (*call)(void* context), void* context) override;

 private:
  const Environment& environment_;
  DriveC drive_;
};

}  // namespace corvane::emulated
