// The file task's registration on the real system (a Wine prefix here): the downloaded
// library is registered by the system's regsvr32 and its class is detected afterwards.

#include <gtest/gtest.h>

#include <string>

#include "components/component_report.h"
#include "components/install_task.h"
#include "platform/environment.h"
#include "platform/platform.h"
#include "platform/run_process.h"
#include "platform/windows_path.h"

namespace corvane {
namespace {

constexpr const char* kClass = "{6F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9}";

TEST(Regsvr32Win32Test, RegserverTaskRegistersTheLibraryAndItsClassIsDetected) {
  const std::string library =
      std::string(PathParent(CurrentPlatform().environment().modulePath())) +
      "\\corvane_register_test_dll.dll";
  ASSERT_FALSE(IsClassRegistered(kClass));
  InstallTask task;
  task.action = "regserver";
  task.registerPath = library;
  EXPECT_EQ(RunInstallTask(task, {}), InstallRun::kStarted);
  EXPECT_TRUE(IsClassRegistered(kClass));
  // The class goes again, so the prefix is left as it was.
  EXPECT_TRUE(runProcess("regsvr32 /s /u \"" + library + "\"", true));
  EXPECT_FALSE(IsClassRegistered(kClass));
  // A file that is not there cannot be checked, so regsvr32 is not started on it; and
  // nothing is registered.
  task.registerPath = library + ".missing";
  EXPECT_EQ(RunInstallTask(task, {}), InstallRun::kFailedToStart);
  EXPECT_FALSE(IsClassRegistered(kClass));
}

}  // namespace
}  // namespace corvane
