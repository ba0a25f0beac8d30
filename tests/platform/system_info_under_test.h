#pragma once

// The system information the conformance tests read: natively a new emulated PC, under
// Wine the Wine prefix (which reports Windows 7 SP1 to a 64-bit program).

#include <memory>

#include "platform/system_info.h"

namespace corvane {

class SystemInfoUnderTest {
 public:
  virtual ~SystemInfoUnderTest() = default;
  virtual SystemInfo& systemInfo() = 0;
};

std::unique_ptr<SystemInfoUnderTest> MakeSystemInfoUnderTest();

}  // namespace corvane
