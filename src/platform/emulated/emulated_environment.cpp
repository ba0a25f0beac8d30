#include "platform/emulated/emulated_environment.h"

#include "platform/emulated/machine_profile.h"
#include "platform/file_system.h"
#include "platform/win_errors.h"
#include "platform/windows_path.h"

namespace corvane::emulated {

MachineIdentity ReadMachineIdentity(const MachineFolder& folder) {
  // machine.ini belongs to the machine profile; the environment takes what it needs from it.
  const MachineProfile profile = LoadMachineProfile(folder).profile;
  return MachineIdentity{profile.userName, profile.computerName, profile.is64Bit()};
}

std::string EmulatedEnvironment::DefaultModulePath(bool is64Bit) {
  return is64Bit ? R"(C:\Program Files (x86)\Marrowby\Corvane\corvane.exe)"
                 : R"(C:\Program Files\Marrowby\Corvane\corvane.exe)";
}

EmulatedEnvironment::EmulatedEnvironment(const MachineFolder& folder,
                                         const MachineIdentity& identity)
    : drive_(folder.driveC()), modulePath_(DefaultModulePath(identity.is64Bit)) {
  currentDirectory_ = std::string(PathParent(modulePath_));
  const std::string profile = R"(C:\Users\)" + identity.userName;
  const std::string programFiles =
      identity.is64Bit ? R"(C:\Program Files (x86))" : R"(C:\Program Files)";
  const std::string temp = profile + R"(\AppData\Local\Temp)";
  variables_ = {
      {"ALLUSERSPROFILE", R"(C:\ProgramData)"},
      {"APPDATA", profile + R"(\AppData\Roaming)"},
      {"CommonProgramFiles", programFiles + R"(\Common Files)"},
      {"COMPUTERNAME", identity.computerName},
      {"ComSpec", R"(C:\Windows\system32\cmd.exe)"},
      {"HOMEDRIVE", "C:"},
      {"HOMEPATH", R"(\Users\)" + identity.userName},
      {"LOCALAPPDATA", profile + R"(\AppData\Local)"},
      {"NUMBER_OF_PROCESSORS", "2"},
      {"OS", "Windows_NT"},
      {"Path", R"(C:\Windows\system32;C:\Windows;C:\Windows\System32\Wbem)"},
      {"PATHEXT", ".COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH;.MSC"},
      {"PROCESSOR_ARCHITECTURE", "x86"},
      {"ProgramData", R"(C:\ProgramData)"},
      {"ProgramFiles", programFiles},
      {"PUBLIC", R"(C:\Users\Public)"},
      {"SystemDrive", "C:"},
      {"SystemRoot", R"(C:\Windows)"},
      {"TEMP", temp},
      {"TMP", temp},
      {"USERDOMAIN", identity.computerName},
      {"USERNAME", identity.userName},
      {"USERPROFILE", profile},
      {"windir", R"(C:\Windows)"},
  };
  if (identity.is64Bit) {
    variables_.emplace_back("CommonProgramFiles(x86)", R"(C:\Program Files (x86)\Common Files)");
    variables_.emplace_back("CommonProgramW6432", R"(C:\Program Files\Common Files)");
    variables_.emplace_back("PROCESSOR_ARCHITEW6432", "AMD64");
    variables_.emplace_back("ProgramFiles(x86)", R"(C:\Program Files (x86))");
    variables_.emplace_back("ProgramW6432", R"(C:\Program Files)");
  }
}

std::optional<std::string> EmulatedEnvironment::variable(std::string_view name) const {
  const std::lock_guard lock(mutex_);
  if (name.empty()) return std::nullopt;
  for (const auto& [key, value] : variables_) {
    if (EqualsIgnoringCase(key, name)) return value;
  }
  return std::nullopt;
}

std::string EmulatedEnvironment::expand(std::string_view text) const {
  return ExpandEnvironmentReferences(text,
                                     [this](std::string_view name) { return variable(name); });
}

std::string EmulatedEnvironment::tempFolder() const {
  // GetTempPath: TMP, then TEMP, then USERPROFILE, then the Windows folder.
  std::optional<std::string> folder;
  for (const char* name : {"TMP", "TEMP", "USERPROFILE"}) {
    folder = variable(name);
    if (folder && !folder->empty()) break;
    folder.reset();
  }
  std::string path = folder ? *folder : R"(C:\Windows)";
  if (path.empty() || !IsPathSeparator(path.back())) path.push_back('\\');
  return path;
}

std::string EmulatedEnvironment::modulePath() const {
  const std::lock_guard lock(mutex_);
  return modulePath_;
}

std::string EmulatedEnvironment::currentDirectory() const {
  const std::lock_guard lock(mutex_);
  return currentDirectory_;
}

std::uint32_t EmulatedEnvironment::setCurrentDirectory(std::string_view path) {
  const std::lock_guard lock(mutex_);
  ResolvedPath resolved;
  if (const std::uint32_t error = drive_.resolve(path, currentDirectory_, resolved)) return error;
  if (!resolved.exists) return win::kErrorFileNotFound;
  if (!resolved.isDirectory) return win::kErrorDirectory;
  currentDirectory_ = resolved.windows;
  return win::kErrorSuccess;
}

void EmulatedEnvironment::setVariable(std::string_view name,
                                      std::optional<std::string_view> value) {
  const std::lock_guard lock(mutex_);
  for (auto it = variables_.begin(); it != variables_.end(); ++it) {
    if (!EqualsIgnoringCase(it->first, name)) continue;
    if (value) {
      it->second = *value;
    } else {
      variables_.erase(it);
    }
    return;
  }
  if (value) variables_.emplace_back(name, *value);
}

void EmulatedEnvironment::setModulePath(std::string path) {
  const std::lock_guard lock(mutex_);
  modulePath_ = std::move(path);
}

std::vector<std::pair<std::string, std::string>> EmulatedEnvironment::block() const {
  const std::lock_guard lock(mutex_);
  return variables_;
}

}  // namespace corvane::emulated
