#include "platform/emulated/machine_presets.h"

#include <initializer_list>
#include <optional>
#include <system_error>
#include <tuple>

#include "platform/emulated/emulated_platform.h"
#include "platform/emulated/machine_files.h"
#include "platform/registry.h"
#include "platform/win_errors.h"

namespace corvane::emulated {
namespace {

constexpr std::uint16_t kSuiteEnterprise = 0x0002;
constexpr std::uint16_t kSuiteTerminal = 0x0010;
constexpr std::uint16_t kSuitePersonal = 0x0200;
constexpr std::uint32_t kProductHomePremium = 0x00000003;
constexpr std::uint32_t kProductProfessional = 0x00000030;

MachinePreset Preset(std::string name, OsVersionInfo version, std::uint16_t architecture,
                     std::optional<std::uint32_t> productInfo, int serverR2, std::string ieVersion,
                     std::string ieSvcVersion, std::string productName,
                     std::string editionId = {}) {
  MachinePreset preset;
  preset.name = std::move(name);
  preset.profile.version = std::move(version);
  preset.profile.architecture = architecture;
  preset.profile.productInfo = productInfo;
  preset.profile.serverR2 = serverR2;
  preset.ieVersion = std::move(ieVersion);
  preset.ieSvcVersion = std::move(ieSvcVersion);
  preset.productName = std::move(productName);
  preset.editionId = std::move(editionId);
  return preset;
}

// Sets one string value in both registry views (a 32-bit system has one, written twice);
// an empty value is removed, as Windows has none where there is nothing to say.
std::string SetEverywhere(Registry& registry, std::string_view key, std::string_view name,
                          std::string_view value) {
  for (const std::uint32_t view : {win::kKeyWow64View64, win::kKeyWow64View32}) {
    RegistryKey handle;
    if (const std::uint32_t error = registry.CreateKey(
            RegistryRoot::kLocalMachine, key, win::kKeyRead | win::kKeyWrite | view, handle)) {
      return "cannot create HKLM\\" + std::string(key) + " (Windows error " +
             std::to_string(error) + ")";
    }
    if (value.empty()) {
      const std::uint32_t error = handle.DeleteValue(name);
      if (error != win::kErrorSuccess && error != win::kErrorFileNotFound) {
        return "cannot delete " + std::string(name) + " (Windows error " + std::to_string(error) +
               ")";
      }
      continue;
    }
    if (const std::uint32_t error = handle.SetString(name, value)) {
      return "cannot set " + std::string(name) + " (Windows error " + std::to_string(error) + ")";
    }
  }
  return {};
}

}  // namespace

std::vector<MachinePreset> MachinePresets() {
  using win::kProcessorArchitectureAmd64;
  using win::kProcessorArchitectureIntel;
  using win::kVerNtServer;
  using win::kVerNtWorkstation;
  using win::kVerPlatformWin32Nt;
  using win::kVerSuiteSingleUserTs;
  constexpr std::uint16_t kTs = kVerSuiteSingleUserTs;
  return {
      Preset("winxp-sp3-x86",
             {5, 1, 2600, kVerPlatformWin32Nt, "Service Pack 3", 3, 0, kTs, kVerNtWorkstation},
             kProcessorArchitectureIntel, std::nullopt, 0, "6.0.2900.5512", "",
             "Microsoft Windows XP"),
      // SM_SERVERR2 answers with the R2 build number.
      Preset("win2003-r2-x86",
             {5, 2, 3790, kVerPlatformWin32Nt, "Service Pack 2", 2, 0, kSuiteTerminal | kTs,
              kVerNtServer},
             kProcessorArchitectureIntel, std::nullopt, 3790, "6.0.3790.3959", "",
             "Microsoft Windows Server 2003 R2"),
      Preset("win2003-x64",
             {5, 2, 3790, kVerPlatformWin32Nt, "Service Pack 2", 2, 0,
              kSuiteEnterprise | kSuiteTerminal | kTs, kVerNtServer},
             kProcessorArchitectureAmd64, std::nullopt, 0, "6.0.3790.3959", "",
             "Microsoft Windows Server 2003"),
      Preset("vista-sp2-x86",
             {6, 0, 6002, kVerPlatformWin32Nt, "Service Pack 2", 2, 0, kSuitePersonal | kTs,
              kVerNtWorkstation},
             kProcessorArchitectureIntel, kProductHomePremium, 0, "7.0.6002.18005", "",
             "Windows Vista (TM) Home Premium", "HomePremium"),
      Preset("win7-x86",
             {6, 1, 7600, kVerPlatformWin32Nt, "", 0, 0, kSuitePersonal | kTs, kVerNtWorkstation},
             kProcessorArchitectureIntel, kProductHomePremium, 0, "8.0.7600.16385", "",
             "Windows 7 Home Premium", "HomePremium"),
      Preset("win7-sp1-x64", MachineProfile().version, kProcessorArchitectureAmd64,
             win::kProductUltimate, 0, "8.0.7601.17514", "", "Windows 7 Ultimate", "Ultimate"),
      Preset("win8-x64", {6, 2, 9200, kVerPlatformWin32Nt, "", 0, 0, kTs, kVerNtWorkstation},
             kProcessorArchitectureAmd64, kProductProfessional, 0, "9.10.9200.16384",
             "10.0.9200.16384", "Windows 8 Pro", "Professional"),
  };
}

const MachinePreset* FindMachinePreset(const std::vector<MachinePreset>& presets,
                                       std::string_view name) {
  for (const MachinePreset& preset : presets) {
    if (preset.name == name) return &preset;
  }
  return nullptr;
}

std::string CreateMachineFromPreset(const std::filesystem::path& root,
                                    const MachinePreset& preset) {
  std::error_code ec;
  if (std::filesystem::exists(root, ec) && !std::filesystem::is_empty(root, ec)) {
    return root.string() + " is not empty: a preset makes a new machine only";
  }
  std::filesystem::create_directories(root, ec);
  const MachineFolder folder(root);
  if (CreateMachineFile(root, folder.machineIni().filename(),
                        WriteMachineProfile(preset.profile)) != MachineFileStatus::kOk) {
    return "cannot write " + folder.machineIni().string();
  }
  // The platform makes the rest of the machine from its templates, in the views of the
  // preset's architecture.
  EmulatedPlatform machine(root);
  if (std::string errors = machine.loadErrors(); !errors.empty()) return errors;
  Registry& registry = machine.registry();
  const OsVersionInfo& v = preset.profile.version;
  const std::string ie = R"(SOFTWARE\Microsoft\Internet Explorer)";
  const std::string nt = R"(SOFTWARE\Microsoft\Windows NT\CurrentVersion)";
  // "Build" is the major version followed by the build of the version text, as IE keeps it.
  const std::size_t buildStart = preset.ieVersion.find('.', preset.ieVersion.find('.') + 1) + 1;
  const std::string ieBuild =
      preset.ieVersion.substr(0, preset.ieVersion.find('.')) +
      preset.ieVersion.substr(buildStart, preset.ieVersion.find('.', buildStart) - buildStart);
  const std::string version = std::to_string(v.majorVersion) + "." + std::to_string(v.minorVersion);
  for (const auto& [key, name, value] :
       std::initializer_list<std::tuple<std::string, std::string, std::string>>{
           {ie, "Version", preset.ieVersion},
           {ie, "W2kVersion", preset.ieVersion},
           {ie, "Build", ieBuild},
           {nt, "ProductName", preset.productName},
           {nt, "CurrentVersion", version},
           {nt, "CurrentBuild", std::to_string(v.buildNumber)},
           {nt, "CurrentBuildNumber", std::to_string(v.buildNumber)},
           {nt, "CSDVersion", v.servicePack},
           {nt, "EditionID", preset.editionId},
           {nt, "InstallationType", v.majorVersion == 6 && v.minorVersion >= 1 ? "Client" : ""},
           {ie, "svcVersion", preset.ieSvcVersion}}) {
    if (std::string error = SetEverywhere(registry, key, name, value); !error.empty()) {
      return error;
    }
  }
  return {};
}

}  // namespace corvane::emulated
