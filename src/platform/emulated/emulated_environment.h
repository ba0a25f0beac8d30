#pragma once

// The environment of the Corvane process on the emulated PC: a Windows environment block
// made from the machine's identity, the program's module path and its current directory.
//
// The program runs as a 32-bit process. On a 64-bit machine it therefore sees what WOW64
// shows it: ProgramFiles is "C:\Program Files (x86)" and the program is installed there
// (module path "C:\Program Files (x86)\Marrowby\Corvane\corvane.exe"; on a 32-bit machine
// "C:\Program Files\Marrowby\Corvane\corvane.exe"). The current directory starts as the
// program's folder, as when it is started from Explorer.

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/emulated/drive_c.h"
#include "platform/emulated/machine_folder.h"
#include "platform/environment.h"

namespace corvane::emulated {

// What the environment needs to know about the machine, from machine.ini (any section):
//   UserName=<name>           default "User"
//   ComputerName=<name>       default "CORVANE-PC"
//   Architecture=x64|x86      default x64 (also accepted: amd64, x86_64, i386)
struct MachineIdentity {
  std::string userName = "User";
  std::string computerName = "CORVANE-PC";
  bool is64Bit = true;
};
MachineIdentity ReadMachineIdentity(const MachineFolder& folder);

class EmulatedEnvironment final : public Environment {
 public:
  EmulatedEnvironment(const MachineFolder& folder, const MachineIdentity& identity);

  [[nodiscard]] std::optional<std::string> variable(std::string_view name) const override;
  [[nodiscard]] std::string expand(std::string_view text) const override;
  [[nodiscard]] std::string tempFolder() const override;
  [[nodiscard]] std::string modulePath() const override;
  [[nodiscard]] std::string currentDirectory() const override;
  std::uint32_t setCurrentDirectory(std::string_view path) override;

  // SetEnvironmentVariable: a value sets or replaces (the name keeps its first spelling),
  // nothing removes.
  void setVariable(std::string_view name, std::optional<std::string_view> value);
  // Where the running program is, e.g. for self-update tests that install it elsewhere.
  void setModulePath(std::string path);
  // The block in order, as NAME=value pairs.
  [[nodiscard]] std::vector<std::pair<std::string, std::string>> block() const;

  [[nodiscard]] static std::string DefaultModulePath(bool is64Bit);

 private:
  DriveC drive_;
  mutable std::mutex mutex_;
  std::vector<std::pair<std::string, std::string>> variables_;
  std::string modulePath_;
  std::string currentDirectory_;
};

}  // namespace corvane::emulated
