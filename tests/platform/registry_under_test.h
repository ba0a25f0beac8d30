#pragma once

// How the registry conformance tests get their registry: natively an emulated PC of their
// own, under Wine the real registry of the Wine prefix.

#include <memory>
#include <string>

#include "platform/registry.h"

namespace corvane {

class RegistryUnderTest {
 public:
  virtual ~RegistryUnderTest() = default;
  virtual Registry& registry() = 0;
  // A key path below HKEY_CURRENT_USER that belongs to this test alone; it does not exist
  // yet, and it is removed with everything in it when the object goes.
  [[nodiscard]] virtual const std::string& scratch() const = 0;
};

std::unique_ptr<RegistryUnderTest> MakeRegistryUnderTest();

}  // namespace corvane
