#include "platform/emulated/emulated_platform.h"

#include <memory>

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
      usbDevices_(folder_) {}

std::string EmulatedPlatform::loadErrors() const {
  std::string errors;
  for (const std::string& part : {profile_.error, network_.loadError(), registry_.loadError(),
                                  certificateStores_.loadError(), usbDevices_.loadError()}) {
    if (part.empty()) continue;
    if (!errors.empty()) errors += '\n';
    errors += part;
  }
  return errors;
}

}  // namespace emulated
}  // namespace corvane
