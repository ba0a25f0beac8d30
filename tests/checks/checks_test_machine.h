#pragma once

// The machine a check test runs on: a fresh emulated PC natively, the real system in the
// Windows builds (a Wine prefix here), with what the tests need to leave that system as they
// found it.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace corvane {

class ChecksTestMachine {
 public:
  // machineIni: the emulated PC's machine.ini (empty for the default Windows 7 PC); the real
  // system ignores it.
  explicit ChecksTestMachine(std::string_view machineIni = {});
  ChecksTestMachine(const ChecksTestMachine&) = delete;
  ChecksTestMachine& operator=(const ChecksTestMachine&) = delete;
  ~ChecksTestMachine();

  // Whether the machine is the emulated PC, whose Windows the test chose.
  static bool IsEmulated();

  // A key below HKEY_CURRENT_USER for this test alone: missing at first, removed with its
  // content when the machine goes.
  [[nodiscard]] const std::string& scratchKey() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// A registry value as a test sets or finds it.
struct TestValue {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;

  bool operator==(const TestValue&) const = default;
};

TestValue Dword(std::uint32_t number);
TestValue Sz(std::u16string_view text);  // with its terminating NUL
TestValue Binary(std::vector<std::uint8_t> bytes);

// Through the current platform's registry; keys are created as needed. Fails the test when
// the registry refuses.
void PutValue(RegistryRoot root, std::string_view key, std::string_view name,
              const TestValue& value);
// Nothing when the key or the value is missing.
std::optional<TestValue> GetValue(RegistryRoot root, std::string_view key, std::string_view name);
bool KeyExists(RegistryRoot root, std::string_view key);
void DeleteValue(RegistryRoot root, std::string_view key, std::string_view name);
// The key and everything below it.
void DeleteTree(RegistryRoot root, std::string_view key);

// Keeps a value that a test changes in a fixed place (a policy, the browser's lists) and puts
// it back, or removes it, when the object goes; a key that did not exist is removed again.
class PreservedValue {
 public:
  PreservedValue(RegistryRoot root, std::string key, std::string name);
  PreservedValue(const PreservedValue&) = delete;
  PreservedValue& operator=(const PreservedValue&) = delete;
  ~PreservedValue();

 private:
  RegistryRoot root_;
  std::string key_;
  std::string name_;
  bool keyExisted_;
  std::optional<TestValue> value_;
};

}  // namespace corvane
