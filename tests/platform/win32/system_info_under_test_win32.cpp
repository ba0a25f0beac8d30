#include "platform/win32/win32_system_info.h"
#include "system_info_under_test.h"

namespace corvane {
namespace {

class Win32SystemInfoUnderTest final : public SystemInfoUnderTest {
 public:
  SystemInfo& systemInfo() override { return info_; }

 private:
  win32::Win32SystemInfo info_;
};

}  // namespace

std::unique_ptr<SystemInfoUnderTest> MakeSystemInfoUnderTest() {
  return std::make_unique<Win32SystemInfoUnderTest>();
}

}  // namespace corvane
