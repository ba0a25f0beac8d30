#include "platform/emulated/emulated_platform.h"

#include <cstdlib>
#include <memory>

#include "platform/emulated/program_image.h"
#include "platform/emulated/program_sandbox.h"
#include "platform/win_errors.h"
#include "platform/windows_path.h"

namespace corvane {

std::unique_ptr<Platform> CreateDefaultPlatform() {
  return std::make_unique<emulated::EmulatedPlatform>(emulated::MachineFolder::DefaultRoot());
}

namespace emulated {
namespace {

RegistryView ViewFor(const MachineProfile& profile) {
  // The program is 32-bit: on a 64-bit Windows it sees the WOW64 view.
  return profile.is64Bit() ? RegistryView::kWow64 : RegistryView::kNative;
}

}  // namespace

EmulatedPlatform::EmulatedPlatform(const std::filesystem::path& root)
    : folder_(root),
      profile_(LoadMachineProfile(folder_)),
      environment_(folder_,
                   MachineIdentity{profile_.profile.userName, profile_.profile.computerName,
                                   profile_.profile.is64Bit()}),
      files_(folder_, environment_),
      registry_(folder_, ViewFor(profile_.profile)),
      systemInfo_(profile_.profile),
      processes_(folder_, environment_),
      instanceLock_(folder_.lockDir()),
      network_(folder_, profile_.profile.online, &registry_),
      certificateStores_(folder_),
      libraries_(folder_, environment_),
      urlZones_(registry_),
      browserCache_(folder_, environment_, processes_),
      usbDevices_(folder_) {
  // regsvr32 runs inside the program and writes to the machine's registry.
  processes_.setRegistry(&registry_);
  processes_.setPinnedFiles(&files_.pins());
  const MachineProfile& profile = profile_.profile;
  ProgramConfinement confinement;
  confinement.confined = profile.programsConfined;
  confinement.scriptNetwork = profile.programsNetwork && profile.online;
  confinement.hostNetwork = profile.online;
  confinement.readOnly.assign(profile.programsReadOnly.begin(), profile.programsReadOnly.end());
  // A sanitized build's programs inherit its options and must read the files they name.
  for (const char* variable : {"ASAN_OPTIONS", "TSAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
    if (const char* options = std::getenv(variable)) {
      for (std::filesystem::path& file : SanitizerOptionFiles(options)) {
        confinement.readOnly.push_back(std::move(file));
      }
    }
  }
  // The key-reading helper runs as confined as the installers whose files it reads.
  libraries_.setConfinement(confinement);
  processes_.setConfinement(std::move(confinement));
}

std::string EmulatedPlatform::loadErrors() const {
  std::string errors;
  for (const std::string& part :
       {profile_.error, network_.loadError(), registry_.loadError(), certificateStores_.loadError(),
        browserCache_.loadError(), usbDevices_.loadError()}) {
    if (part.empty()) continue;
    if (!errors.empty()) errors += '\n';
    errors += part;
  }
  return errors;
}

std::uint32_t EmulatedPlatform::runAsProgram(const std::filesystem::path& hostProgram,
                                             std::uint32_t versionMS, std::uint32_t versionLS,
                                             std::vector<std::filesystem::path> writable) {
  const std::string program = environment_.modulePath();
  files_.createStandardFolders();
  if (!files_.exists(program)) {
    // Written beside it and renamed into place: a program killed here leaves no part of an
    // image that a later start would take for the installed program. The short name keeps
    // a program path near the path limit placeable; where even it does not fit, the image is
    // written in place.
    const std::string image = MakeProgramImage(versionMS, versionLS);
    const std::string staged = std::string(PathParent(program)) + "\\~cv.tmp";
    std::uint32_t error = files_.writeFile(staged, image);
    if (error == win::kErrorSuccess) {
      error = files_.move(staged, program, win::kMoveFileReplaceExisting);
      if (error != win::kErrorSuccess) files_.deleteFile(staged);
    } else {
      error = files_.writeFile(program, image);
    }
    if (error != win::kErrorSuccess) return error;
  }
  runningImage_ = RunningImage::Start(folder_, files_.hostPath(program));
  if (!runningImage_) return win::kErrorAccessDenied;
  processes_.setProgramHost(hostProgram, std::move(writable));
  return win::kErrorSuccess;
}

}  // namespace emulated
}  // namespace corvane
