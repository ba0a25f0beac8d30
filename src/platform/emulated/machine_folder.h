#pragma once

// The folder that holds one emulated Windows PC:
//   machine.ini        OS profile (system information, user name, connectivity)
//   registry/*.reg     hives in the "Windows Registry Editor Version 5.00" format
//   drive_c/...        the C: drive
//   network.ini        optional network settings (emulated_network.h)
//   certs/user/<STORE>/, certs/machine/ROOT/
//                      certificate stores as folders of DER files (emulated_certificate_stores.h)
//   locks/             the single-instance locks of programs running on this machine
//   cache.ini          the browser's cache libraries (emulated_browser_cache.h)
//   usb.ini            the USB devices plugged in (emulated_usb_devices.h)
//   programs.log       what the programs the PC ran wrote (program_output_log.h)
// The emulated Windows is drive_c/, registry/ and the certificate stores, with the sidecar
// files of drive_c; everything else steers the emulation, and the programs the PC runs may
// not change it (emulated_processes.h).
// Each service creates its own part of a new machine from the template it carries, so a
// folder that lacks a part gets the default for it. Programs of the PC can write all of it:
// its files are read and written only through machine_files.h, which never follows a link.

#include <filesystem>
#include <vector>

namespace corvane::emulated {

class MachineFolder {
 public:
  explicit MachineFolder(std::filesystem::path root);

  [[nodiscard]] const std::filesystem::path& root() const { return root_; }
  [[nodiscard]] std::filesystem::path machineIni() const { return root_ / "machine.ini"; }
  [[nodiscard]] std::filesystem::path registryDir() const { return root_ / "registry"; }
  [[nodiscard]] std::filesystem::path driveC() const { return root_ / "drive_c"; }
  [[nodiscard]] std::filesystem::path lockDir() const { return root_ / "locks"; }
  [[nodiscard]] std::filesystem::path programLog() const { return root_ / "programs.log"; }

  // What an elevated installer may change on Windows: the folders first, then the sidecar
  // files of drive_c (which may not exist).
  [[nodiscard]] std::vector<std::filesystem::path> windowsFolders() const;
  [[nodiscard]] std::vector<std::filesystem::path> windowsFiles() const;
  // The files that decide what the emulated PC allows (settings, the test CA), which may
  // not exist.
  [[nodiscard]] std::vector<std::filesystem::path> controlFiles() const;

  // The per-user default machine: $CORVANE_MACHINE if set, else
  // $XDG_DATA_HOME/corvane/machine, else ~/.local/share/corvane/machine.
  static std::filesystem::path DefaultRoot();

 private:
  std::filesystem::path root_;
};

}  // namespace corvane::emulated
