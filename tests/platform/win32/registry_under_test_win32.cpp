#include <random>

#include "platform/win32/win32_registry.h"
#include "platform/win_errors.h"
#include "registry_under_test.h"

namespace corvane {
namespace {

// Deletes a key and everything below it, deepest keys first.
void DeleteTree(Registry& registry, const std::string& path) {
  RegistryKey key;
  if (registry.OpenKey(RegistryRoot::kCurrentUser, path, win::kKeyRead, key) != 0) return;
  std::vector<std::string> children;
  key.SubKeyNames(children);
  key.Close();
  for (const std::string& child : children) DeleteTree(registry, path + "\\" + child);
  registry.DeleteKey(RegistryRoot::kCurrentUser, path);
}

class Win32RegistryUnderTest final : public RegistryUnderTest {
 public:
  Win32RegistryUnderTest()
      : scratch_("Software\\CorvaneTest\\" + std::to_string(std::random_device{}())) {}
  ~Win32RegistryUnderTest() override { DeleteTree(registry_, scratch_); }
  Win32RegistryUnderTest(const Win32RegistryUnderTest&) = delete;
  Win32RegistryUnderTest& operator=(const Win32RegistryUnderTest&) = delete;

  Registry& registry() override { return registry_; }
  [[nodiscard]] const std::string& scratch() const override { return scratch_; }

 private:
  win32::Win32Registry registry_;
  std::string scratch_;
};

}  // namespace

std::unique_ptr<RegistryUnderTest> MakeRegistryUnderTest() {
  return std::make_unique<Win32RegistryUnderTest>();
}

}  // namespace corvane
