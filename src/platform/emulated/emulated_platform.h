#pragma once

// One emulated Windows PC, kept in a machine folder, as the platform of the process.

#include <filesystem>
#include <string>
#include <vector>

#include "platform/emulated/embedded_resources.h"
#include "platform/emulated/emulated_certificate_stores.h"
#include "platform/emulated/emulated_environment.h"
#include "platform/emulated/emulated_file_system.h"
#include "platform/emulated/emulated_instance_lock.h"
#include "platform/emulated/emulated_libraries.h"
#include "platform/emulated/emulated_network.h"
#include "platform/emulated/emulated_processes.h"
#include "platform/emulated/emulated_registry.h"
#include "platform/emulated/emulated_system_info.h"
// URL security zones and the browser's caches.
#include "platform/emulated/emulated_browser_cache.h"
#include "platform/emulated/emulated_url_zones.h"
#include "platform/emulated/emulated_usb_devices.h"
#include "platform/emulated/machine_folder.h"
#include "platform/emulated/machine_profile.h"
#include "platform/emulated/running_images.h"
#include "platform/platform.h"

namespace corvane::emulated {

class EmulatedPlatform final : public Platform {
 public:
  // Opens the machine in `root`, creating what is missing from the default machine.
  explicit EmulatedPlatform(const std::filesystem::path& root);

  Environment& environment() override { return environment_; }
  FileSystem& files() override { return files_; }
  Registry& registry() override { return registry_; }
  SystemInfo& systemInfo() override { return systemInfo_; }
  Resources& resources() override { return resources_; }
  Processes& processes() override { return processes_; }
  InstanceLock& instanceLock() override { return instanceLock_; }
  Network& network() override { return network_; }
  CertificateStores& certificateStores() override { return certificateStores_; }
  // URL security zones and the browser's caches.
  UrlZones& urlZones() override { return urlZones_; }
  BrowserCache& browserCache() override { return browserCache_; }
  EmulatedBrowserCache& emulatedBrowserCache() { return browserCache_; }

  Libraries& libraries() override { return libraries_; }
  UsbDevices& usbDevices() override { return usbDevices_; }

  [[nodiscard]] const MachineFolder& folder() const { return folder_; }
  [[nodiscard]] const MachineProfile& profile() const { return profile_.profile; }
  EmulatedFileSystem& emulatedFiles() { return files_; }
  EmulatedRegistry& emulatedRegistry() { return registry_; }
  EmulatedEnvironment& emulatedEnvironment() { return environment_; }
  EmulatedNetwork& emulatedNetwork() { return network_; }
  EmulatedCertificateStores& emulatedCertificateStores() { return certificateStores_; }
  EmulatedLibraries& emulatedLibraries() { return libraries_; }

  // What could not be read while opening the machine (bad machine.ini or network.ini
  // lines, a broken hive, an unreadable certificate store), each naming its file and line;
  // empty when all is well, also for a machine just created. A machine with errors is
  // not whole: the programs refuse to run on it rather than answer for a different PC.
  [[nodiscard]] std::string loadErrors() const;

  // This process runs as the machine's program: the standard folders of a Windows are made
  // where missing, the program file at the module path is installed when missing (a Windows
  // image whose version resource carries versionMS and versionLS), recorded as this
  // process's running image for its life, and a start of it runs hostProgram
  // (EmulatedProcesses::setProgramHost), which may write `writable` (host paths outside the
  // machine folder, such as the transcript). Returns a Windows error code.
  std::uint32_t runAsProgram(const std::filesystem::path& hostProgram, std::uint32_t versionMS,
                             std::uint32_t versionLS,
                             std::vector<std::filesystem::path> writable = {});

 private:
  MachineFolder folder_;
  MachineProfileLoad profile_;
  EmulatedEnvironment environment_;  // the file system and processes refer to it
  EmulatedFileSystem files_;
  EmulatedRegistry registry_;
  EmulatedSystemInfo systemInfo_;
  EmulatedResources resources_;
  EmulatedProcesses processes_;
  EmulatedInstanceLock instanceLock_;
  EmulatedNetwork network_;
  EmulatedCertificateStores certificateStores_;
  std::unique_ptr<RunningImage> runningImage_;

  EmulatedLibraries libraries_;
  // URL security zones and the browser's caches.
  EmulatedUrlZones urlZones_;
  EmulatedBrowserCache browserCache_;
  EmulatedUsbDevices usbDevices_;
};

}  // namespace corvane::emulated
