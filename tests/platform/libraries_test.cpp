#include "platform/libraries.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/win_errors.h"
#include "platform/windows_path.h"
#include "platform_under_test.h"

#if !defined(_WIN32)
#include <fstream>
#include <iterator>

#include "platform/emulated/emulated_platform.h"
#endif

namespace corvane {
namespace {

// The stand-in USB key library as a library of this system: on Windows the DLL copied beside
// the test program at build time, on the emulated PC the shared object put into its temporary
// folder under a Windows name.
std::string StandInLibrary() {
#if defined(_WIN32)
  return PathJoin(PathParent(CurrentPlatform().environment().modulePath()), "standin_usb_key.dll");
#else
  std::ifstream in(CORVANE_STANDIN_USB_KEY_LIBRARY, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string path = CurrentPlatform().environment().tempFolder() + "Vendor.dll";
  EXPECT_EQ(CurrentPlatform().files().writeFile(path, bytes), 0U);
  return path;
#endif
}

// The emulated PC reads key libraries in its helper, which loads them as below.
void LoadInThisProcess() {
#if !defined(_WIN32)
  dynamic_cast<emulated::EmulatedPlatform&>(CurrentPlatform())
      .emulatedLibraries()
      .readInThisProcess();
#endif
}

TEST(LibrariesTest, LoadsByFullPathOnlyAndFindsExportsByName) {
  const PlatformUnderTest machine;
  LoadInThisProcess();
  Libraries& libraries = CurrentPlatform().libraries();
  EXPECT_FALSE(libraries.readInHelper("CFeitianUSBKey").has_value());
  const std::string path = StandInLibrary();

  LibraryHandle library;
  ASSERT_EQ(libraries.load(path, &library), 0U) << path;
  ASSERT_TRUE(library);
  EXPECT_NE(libraries.lookup(library, "GetKeyCount"), nullptr);
  EXPECT_EQ(libraries.lookup(library, "NoSuchExport"), nullptr);
  EXPECT_EQ(libraries.lookup(library, std::string_view("GetKeyCount\0x", 13)), nullptr);
  EXPECT_EQ(libraries.lookup(LibraryHandle{}, "GetKeyCount"), nullptr);

  LibraryHandle again;
  ASSERT_EQ(libraries.load(path, &again), 0U);
  EXPECT_EQ(again.value, library.value);

  struct Case {
    std::string path;
    std::uint32_t error;
  };
  const Case failures[] = {
      {std::string(PathParent(path)) + "\\Missing.dll", kErrorModNotFound},
      {"standin_usb_key.dll", win::kErrorInvalidParameter},
      {"..\\standin_usb_key.dll", win::kErrorInvalidParameter},
      {"", win::kErrorInvalidParameter},
  };
  for (const Case& c : failures) {
    SCOPED_TRACE(c.path);
    LibraryHandle none{&again};
    EXPECT_EQ(libraries.load(c.path, &none), c.error);
    EXPECT_FALSE(none);
  }
}

void Add(void* context) { *static_cast<int*>(context) += 1; }

void WriteToNowhere(void* /*context*/) {
  volatile std::uintptr_t address = 16;
  *reinterpret_cast<volatile int*>(address) = 1;  // NOLINT: the crash under test
}

TEST(LibrariesTest, ContainsACrashInsideTheCallAndGoesOn) {
  const PlatformUnderTest machine;
  Libraries& libraries = CurrentPlatform().libraries();
  int calls = 0;
  EXPECT_EQ(libraries.callContained(&Add, &calls), 0U);
  EXPECT_EQ(calls, 1);
  // Twice: the first containment leaves nothing behind that stops the second.
  EXPECT_EQ(libraries.callContained(&WriteToNowhere, nullptr), kExceptionAccessViolation);
  EXPECT_EQ(libraries.callContained(&WriteToNowhere, nullptr), kExceptionAccessViolation);
  EXPECT_EQ(libraries.callContained(&Add, &calls), 0U);
  EXPECT_EQ(calls, 2);
}

}  // namespace
}  // namespace corvane
