#include <gtest/gtest.h>

#include "key_machine.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/windows_path.h"

namespace corvane::testing {

std::string KeyMachine::programFolder() const {
  return std::string(PathParent(CurrentPlatform().environment().modulePath()));
}

void KeyMachine::describe(std::string_view libraryName, std::string_view text) {
  std::string name(libraryName);
  name = name.substr(0, name.rfind('.')) + ".keys";
  const std::string path = PathJoin(programFolder(), name);
  ASSERT_EQ(CurrentPlatform().files().writeFile(path, text), 0U) << path;
  descriptions_.push_back(path);
}

}  // namespace corvane::testing
