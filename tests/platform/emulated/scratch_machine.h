#pragma once

// A new, empty machine folder in the temporary directory, removed with its content when the
// object goes.

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/emulated/machine_folder.h"

namespace corvane::emulated {

class ScratchMachine {
 public:
  ScratchMachine() : folder_(MakeRoot()) {}
  ScratchMachine(const ScratchMachine&) = delete;
  ScratchMachine& operator=(const ScratchMachine&) = delete;
  ~ScratchMachine() {
    std::error_code ec;
    std::filesystem::remove_all(folder_.root(), ec);
  }

  [[nodiscard]] const MachineFolder& folder() const { return folder_; }

 private:
  static std::filesystem::path MakeRoot() {
    std::string pattern = (std::filesystem::temp_directory_path() / "corvane-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
  }

  MachineFolder folder_;
};

}  // namespace corvane::emulated
