#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "emulated/scratch_machine.h"
#include "key_machine.h"
#include "platform/emulated/emulated_platform.h"
#include "platform/file_system.h"
#include "platform/windows_path.h"

namespace corvane::testing {

struct KeyMachine::State {
  emulated::ScratchMachine machine;
  ScopedPlatform platform{std::make_unique<emulated::EmulatedPlatform>(machine.folder().root())};
};

KeyMachine::KeyMachine() : state_(std::make_unique<State>()) {}
KeyMachine::~KeyMachine() = default;  // the scratch machine goes with its descriptions

void KeyMachine::install(std::string_view libraryName) {
  std::ifstream in(CORVANE_STANDIN_USB_KEY_LIBRARY, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(bytes.empty()) << CORVANE_STANDIN_USB_KEY_LIBRARY;
  ASSERT_EQ(CurrentPlatform().files().writeFile(PathJoin(programFolder(), libraryName), bytes), 0U);
}

}  // namespace corvane::testing
