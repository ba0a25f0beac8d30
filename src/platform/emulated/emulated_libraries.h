#pragma once

// Run-time libraries on the emulated PC. A library is a file on the machine's C: drive,
// reached by its full Windows path (host links refused, as everywhere on the drive). Windows
// libraries cannot be loaded here; a Linux shared object under the Windows name stands in
// for one: it is loaded with dlopen and its exports are looked up by name with dlsym, so the
// code that uses a library runs unchanged. Crashes inside callContained are contained with
// a signal handler for SIGSEGV, SIGBUS, SIGILL and SIGFPE that is installed only for the
// call (any earlier handler, a sanitizer's too, is put back afterwards).
//
// The program folder is written by the machine's installers, which run confined; a library
// loaded here would run their code unconfined. So by default nothing is loaded into this
// process: load() checks the file as before and gives a placeholder, lookup() finds nothing,
// and readInHelper() runs the key-reading helper program (corvane-key-reader, beside this
// program or where the build put it) in a sandbox like the installers' (program_sandbox.h:
// it writes only the machine folder, has no network, and dies with this process), which
// loads the library with dlopen in its own process (readInThisProcess()) and prints what it
// read. Only machines whose settings run programs unconfined run the helper without bwrap,
// still in a process of its own.

#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>

#include "platform/emulated/drive_c.h"
#include "platform/emulated/emulated_processes.h"
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
  std::optional<HelperRead> readInHelper(std::string_view adapterClass) override;

  // The helper's own switch (and the in-process tests'): load libraries into this process.
  void readInThisProcess();
  // How the helper runs (the machine's [programs] settings); confined by default.
  void setConfinement(ProgramConfinement confinement);
  // How long one helper may take before it is killed (10 s by default).
  void setHelperTimeLimit(std::chrono::milliseconds limit);
  // The helper program's host path: beside this program's executable, else the build's.
  [[nodiscard]] static std::filesystem::path HelperProgram();

 private:
  MachineFolder folder_;
  const Environment& environment_;
  DriveC drive_;
  mutable std::mutex mutex_;
  bool inThisProcess_ = false;                                     // guarded by mutex_
  ProgramConfinement confinement_;                                 // guarded by mutex_
  std::chrono::milliseconds timeLimit_{std::chrono::seconds(10)};  // guarded by mutex_
  bool sandboxWorks_ = false;                                      // guarded by mutex_
};

}  // namespace corvane::emulated
