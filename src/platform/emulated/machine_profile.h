#pragma once

// machine.ini: the profile of an emulated PC — what Windows reports about itself, the user
// and whether the PC is online. A missing file is created with the defaults, a Windows 7
// Ultimate SP1 64-bit PC that is online:
//
//   [windows]
//   version = 6.1.7601            major.minor.build
//   platform_id = 2               VER_PLATFORM_WIN32_NT
//   service_pack = Service Pack 1 szCSDVersion; empty for none
//   service_pack_version = 1.0    wServicePackMajor.wServicePackMinor
//   suite_mask = 0x0100           wSuiteMask (VER_SUITE_SINGLEUSERTS)
//   product_type = 1              wProductType: 1 workstation, 2 domain controller, 3 server
//   product_info = 0x00000001     GetProductInfo's type (PRODUCT_ULTIMATE); "none" where
//                                 the function is missing, as on Windows XP
//   architecture = 9              PROCESSOR_ARCHITECTURE_*: 0 x86, 6 IA64, 9 AMD64
//   server_r2 = 0                 GetSystemMetrics(SM_SERVERR2)
//   [user]
//   name = User                   the desktop user's name
//   computer_name = CORVANE-PC    the PC's name
//   [network]
//   online = yes                  yes or no: whether the PC has a network connection
//   [programs]                    how the programs the PC starts run on Linux
//   confined = yes                yes: in bubblewrap (program_sandbox.h), refused when that
//                                 cannot run here; no: as they are, with the user's rights
//   network = no                  yes: installers and scripts share this PC's network;
//                                 no: they have none. The machine's own program (a restart
//                                 after an update) has it whenever the PC is online.
//   read_only = /opt/tool; /x     host folders or files (absolute, ; between them, the key
//                                 may repeat) programs may read besides the system's
//
// Lines starting with ; or # are comments. Numbers are decimal or 0x hexadecimal. Unknown
// sections and keys are left alone, so older programs read newer files.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/emulated/machine_folder.h"
#include "platform/system_info.h"

namespace corvane::emulated {

struct MachineProfile {
  OsVersionInfo version{6,
                        1,
                        7601,
                        win::kVerPlatformWin32Nt,
                        "Service Pack 1",
                        1,
                        0,
                        win::kVerSuiteSingleUserTs,
                        win::kVerNtWorkstation};
  std::uint16_t architecture = win::kProcessorArchitectureAmd64;
  std::optional<std::uint32_t> productInfo = win::kProductUltimate;
  int serverR2 = 0;
  std::string userName = "User";
  std::string computerName = "CORVANE-PC";
  bool online = true;
  bool programsConfined = true;
  bool programsNetwork = false;
  std::vector<std::string> programsReadOnly;

  // A 64-bit Windows, on which the 32-bit program runs under WOW64.
  [[nodiscard]] bool is64Bit() const {
    return architecture == win::kProcessorArchitectureAmd64 ||
           architecture == win::kProcessorArchitectureIa64;
  }
};

struct MachineProfileLoad {
  MachineProfile profile;  // the defaults for whatever could not be read
  std::string error;       // "<file>:<line>: ..." for each bad line; empty when all is well
};

// Reads the machine's machine.ini, first writing the default one if there is none.
MachineProfileLoad LoadMachineProfile(const MachineFolder& machine);

// Reads the text of a machine.ini; `fileName` names it in errors.
MachineProfileLoad ParseMachineProfile(std::string_view text, std::string_view fileName);

// The text of a machine.ini for `profile`, with comments.
std::string WriteMachineProfile(const MachineProfile& profile);

}  // namespace corvane::emulated
