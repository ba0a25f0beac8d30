#include "checks_test_machine.h"

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/win_errors.h"

namespace corvane {
namespace {

constexpr std::uint32_t kReadWrite = win::kKeyRead | win::kKeyWrite;

Registry& TheRegistry() { return CurrentPlatform().registry(); }

}  // namespace

TestValue Dword(std::uint32_t number) {
  return {win::kRegDword,
          {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8U),
           static_cast<std::uint8_t>(number >> 16U), static_cast<std::uint8_t>(number >> 24U)}};
}

TestValue Sz(std::u16string_view text) {
  TestValue value{win::kRegSz, {}};
  for (const char16_t unit : text) {
    value.data.push_back(static_cast<std::uint8_t>(unit & 0xFFU));
    value.data.push_back(static_cast<std::uint8_t>(unit >> 8U));
  }
  value.data.insert(value.data.end(), {0, 0});
  return value;
}

TestValue Binary(std::vector<std::uint8_t> bytes) { return {win::kRegBinary, std::move(bytes)}; }

void PutValue(RegistryRoot root, std::string_view key, std::string_view name,
              const TestValue& value) {
  RegistryKey handle;
  ASSERT_EQ(TheRegistry().CreateKey(root, key, kReadWrite, handle), win::kErrorSuccess) << key;
  ASSERT_EQ(handle.SetValue(name, value.type, value.data), win::kErrorSuccess) << name;
}

std::optional<TestValue> GetValue(RegistryRoot root, std::string_view key, std::string_view name) {
  RegistryKey handle;
  if (TheRegistry().OpenKey(root, key, win::kKeyRead, handle) != win::kErrorSuccess) {
    return std::nullopt;
  }
  TestValue value;
  if (handle.ReadValue(name, value.type, value.data) != win::kErrorSuccess) return std::nullopt;
  return value;
}

bool KeyExists(RegistryRoot root, std::string_view key) {
  RegistryKey handle;
  return TheRegistry().OpenKey(root, key, win::kKeyRead, handle) == win::kErrorSuccess;
}

void DeleteValue(RegistryRoot root, std::string_view key, std::string_view name) {
  RegistryKey handle;
  if (TheRegistry().OpenKey(root, key, kReadWrite, handle) == win::kErrorSuccess) {
    handle.DeleteValue(name);
  }
}

void DeleteTree(RegistryRoot root, std::string_view key) {
  std::vector<std::string> children;
  {
    RegistryKey handle;
    if (TheRegistry().OpenKey(root, key, win::kKeyRead, handle) != win::kErrorSuccess) return;
    handle.SubKeyNames(children);
  }
  for (const std::string& child : children) DeleteTree(root, std::string(key) + "\\" + child);
  TheRegistry().DeleteKey(root, key);
}

PreservedValue::PreservedValue(RegistryRoot root, std::string key, std::string name)
    : root_(root),
      key_(std::move(key)),
      name_(std::move(name)),
      keyExisted_(KeyExists(root_, key_)),
      value_(GetValue(root_, key_, name_)) {}

PreservedValue::~PreservedValue() {
  if (value_) {
    PutValue(root_, key_, name_, *value_);
  } else if (!keyExisted_) {
    DeleteTree(root_, key_);
  } else {
    DeleteValue(root_, key_, name_);
  }
}

}  // namespace corvane
