#include "platform/platform.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/environment.h"
#include "platform/registry.h"
#include "platform/resources.h"
#include "platform_under_test.h"

namespace corvane {
namespace {

// The process-wide platform hands out the services of one machine, and the program's own
// resources are reachable through it.
TEST(PlatformTest, CurrentPlatformServesTheProgram) {
  const PlatformUnderTest machine;
  Platform& platform = CurrentPlatform();
  EXPECT_EQ(&platform.environment(), &platform.environment());
  EXPECT_FALSE(platform.environment().tempFolder().empty());

  const std::vector<unsigned char> text = LoadResourceBytes("hello.txt", "TestData");
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(text, LoadResourceBytes("HELLO.TXT", "TESTDATA"));
  EXPECT_TRUE(LoadResourceBytes("missing.txt", "TESTDATA").empty());
}

}  // namespace
}  // namespace corvane
