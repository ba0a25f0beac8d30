#pragma once

// The registry of an emulated PC: three hives kept as .reg text files in the machine
// folder's registry/ (HKLM.reg, HKCU.reg, HKCR.reg). They are read when the registry is
// created, and a hive is read again before any read or change once its file is no longer
// the one last read or written (another process, such as an installer running
// corvane-machine, changed it); open keys then see the new values, and keys gone from the
// file answer kErrorKeyDeleted. A missing hive is created from the template of a Windows 7
// SP1 64-bit PC with Internet Explorer 8. Every change is made under an exclusive lock on
// registry/.lock on the hive as the file holds it, and saved at once and atomically
// (temporary file beside the hive, flushed, renamed over it), so two writers keep each
// other's changes and a crash leaves either the old or the new file. A hive with a syntax error is
// never written: its root fails with kErrorRegistryCorrupt and loadError() names the file and line.

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "platform/emulated/machine_folder.h"
#include "platform/emulated/reg_file.h"
#include "platform/registry.h"

namespace corvane::emulated {

// Which registry view the running program sees when it asks for none.
enum class RegistryView {
  kNative,  // a program of the system's own bitness
  // A 32-bit program on 64-bit Windows (the shipping build on a 64-bit PC): WOW64 redirects
  // HKLM\SOFTWARE to HKLM\SOFTWARE\Wow6432Node, and the COM class keys of HKCR and
  // HKCU\Software\Classes to their Wow6432Node, except for the keys Windows 7 shares
  // between the views. kKeyWow64View64 asks for the native view.
  kWow64,
};

class EmulatedRegistry final : public Registry {
 public:
  EmulatedRegistry(const MachineFolder& machine, RegistryView view);
  ~EmulatedRegistry() override;

  std::uint32_t OpenKey(RegistryRoot root, std::string_view subKey, std::uint32_t access,
                        RegistryKey& key) override;
  std::uint32_t CreateKey(RegistryRoot root, std::string_view subKey, std::uint32_t access,
                          RegistryKey& key, bool* created = nullptr) override;
  std::uint32_t DeleteKey(RegistryRoot root, std::string_view subKey,
                          std::uint32_t access = 0) override;
  [[nodiscard]] std::string loadError() const override;

  // Changes the hives as their files hold them (no WOW64 view) in one step under the write
  // lock: `change` gets a copy of each hive's root (indexed by RegistryRoot) and returns
  // true to have the copies replace the hives and be saved, false to change nothing. Fails
  // with kErrorRegistryCorrupt, calling nothing, when a hive could not be read; with
  // kErrorRegistryIoFailed when a changed hive could not be saved (each hive is saved
  // atomically, so a hive holds either all its changes or none).
  using HiveEdit = std::function<bool(const std::array<std::shared_ptr<RegNode>, 3>& roots)>;
  std::uint32_t EditHives(const HiveEdit& change);

  struct Store;

 private:
  std::shared_ptr<Store> store_;
  RegistryView view_;
};

// The template text of a hive of a new machine. A 32-bit system (kNative) has no
// Wow6432Node and no "(x86)" folders.
std::string RegistryTemplate(RegistryRoot root, RegistryView view = RegistryView::kWow64);

}  // namespace corvane::emulated
