#pragma once

// The environment, file and process services of the backend this test program is built
// for, set up for one test: natively a fresh emulated PC in a temporary folder, in the
// Windows builds the real calls working in a scratch folder under the temporary folder.
// Destroying it removes what the test made.

#include <memory>
#include <string>
#include <string_view>

#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/processes.h"

namespace corvane::testing {

class ServicesUnderTest {
 public:
  ServicesUnderTest() = default;
  ServicesUnderTest(const ServicesUnderTest&) = delete;
  ServicesUnderTest& operator=(const ServicesUnderTest&) = delete;
  virtual ~ServicesUnderTest() = default;

  virtual Environment& environment() = 0;
  virtual FileSystem& files() = 0;
  virtual Processes& processes() = 0;

  // Running on Wine rather than Windows. Wine leaves out a few documented Windows rules
  // that the emulated PC keeps; the tests skip exactly those checks there.
  [[nodiscard]] virtual bool underWine() const = 0;

  // Full Windows path of an empty folder that belongs to this test (no trailing backslash).
  [[nodiscard]] virtual std::string scratch() const = 0;

  // Puts a program in folder that ends with exitCode at once, and returns its full path.
  // name has no extension; the backend adds the one its kind of program needs.
  virtual std::string writeExitProgram(std::string_view folder, std::string_view name,
                                       int exitCode) = 0;
  // A command line that creates the (empty) file at path and ends with 0.
  virtual std::string createFileCommand(std::string_view path) = 0;
};

std::unique_ptr<ServicesUnderTest> MakeServicesUnderTest();

}  // namespace corvane::testing
