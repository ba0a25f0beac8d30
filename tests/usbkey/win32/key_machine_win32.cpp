#include <gtest/gtest.h>

#include "key_machine.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/windows_path.h"

namespace corvane::testing {

// The real system: the stand-in DLLs were copied beside the test program when it was built
// (a loaded DLL cannot be replaced, and the libraries stay loaded).
struct KeyMachine::State {};

KeyMachine::KeyMachine() : state_(std::make_unique<State>()) {}

KeyMachine::~KeyMachine() {
  for (const std::string& path : descriptions_) CurrentPlatform().files().deleteFile(path);
}

void KeyMachine::install(std::string_view libraryName) {
  ASSERT_TRUE(CurrentPlatform().files().exists(PathJoin(programFolder(), libraryName)))
      << libraryName;
}

}  // namespace corvane::testing
