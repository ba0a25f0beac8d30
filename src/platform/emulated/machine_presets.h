#pragma once

// Ready-made emulated PCs for each Windows the system tells apart, so that a person can try a
// configuration on all of them without editing machine.ini by hand:
//
//   name              Windows                                        IE   native
//   winxp-sp3-x86     XP Professional SP3 (5.1.2600)                 6    x86
//   win2003-r2-x86    Server 2003 R2 Standard SP2 (5.2.3790)         6    x86
//   win2003-x64       Server 2003 Enterprise x64 SP2 (5.2.3790)      6    AMD64
//   vista-sp2-x86     Vista Home Premium SP2 (6.0.6002)              7    x86
//   win7-x86          7 Home Premium, no service pack (6.1.7600)     8    x86
//   win7-sp1-x64      7 Ultimate SP1 (6.1.7601), the default machine 8    AMD64
//   win8-x64          8 Professional (6.2.9200)                      10   AMD64
//
// A preset sets what the checks read per system: the version record (version, service pack,
// suite mask, product type), GetProductInfo's type (none before Vista), the native
// architecture (which gives the WOW64 registry view and the program's folder), the R2 flag,
// and the registry's Internet Explorer version and Windows NT\CurrentVersion values.
// Internet Explorer 10 keeps "9.10.9200.16384" in "Version" (the real version is in
// "svcVersion"), as Windows 8 does; the page shows what "Version" holds.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/emulated/machine_profile.h"

namespace corvane::emulated {

struct MachinePreset {
  std::string name;
  MachineProfile profile;
  std::string ieVersion;     // HKLM\SOFTWARE\Microsoft\Internet Explorer "Version"
  std::string ieSvcVersion;  // "svcVersion", from Internet Explorer 10; empty: none
  std::string productName;   // Windows NT\CurrentVersion "ProductName"
  std::string editionId;     // and "EditionID", from Vista on; empty: none
};

// Every preset, in the order above.
std::vector<MachinePreset> MachinePresets();

// The preset of that name; nullptr for an unknown name.
const MachinePreset* FindMachinePreset(const std::vector<MachinePreset>& presets,
                                       std::string_view name);

// Makes a new machine in `root` from `preset`: machine.ini, then the hives with the preset's
// registry values in every view the system has. `root` must not exist or be empty, so no
// machine is ever turned into another half-way. An empty result when done, else what failed.
std::string CreateMachineFromPreset(const std::filesystem::path& root, const MachinePreset& preset);

}  // namespace corvane::emulated
