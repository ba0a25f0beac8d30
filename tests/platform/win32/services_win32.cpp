// The services under test in the Windows builds: the real calls, working in a scratch
// folder under the real temporary folder, which is removed afterwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <system_error>

#include "files_under_test.h"
#include "platform/win32/win32_environment.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_processes.h"
#include "platform/win32/win32_util.h"
#include "platform/windows_path.h"

namespace corvane::testing {
namespace {

class Win32Services final : public ServicesUnderTest {
 public:
  Win32Services() {
    std::random_device random;
    scratch_ = environment_.tempFolder() + "corvane-test-" + std::to_string(random()) +
               std::to_string(random());
    EXPECT_EQ(files_.createDirectory(scratch_), 0U) << scratch_;
  }

  ~Win32Services() override {
    // Read-only files would stop the removal.
    const std::filesystem::path root(win32::Wide(scratch_));
    std::error_code error;
    for (std::filesystem::recursive_directory_iterator it(root, error), end; !error && it != end;
         it.increment(error)) {
      ::SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    std::filesystem::remove_all(root, error);
  }

  Environment& environment() override { return environment_; }
  FileSystem& files() override { return files_; }
  Processes& processes() override { return processes_; }
  [[nodiscard]] bool underWine() const override {
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
  }
  [[nodiscard]] std::string scratch() const override { return scratch_; }

  // A batch file: CreateProcess runs it through cmd.exe, whose exit code it sets.
  std::string writeExitProgram(std::string_view folder, std::string_view name,
                               int exitCode) override {
    const std::string path = PathJoin(folder, std::string(name) + ".bat");
    EXPECT_EQ(files_.writeFile(path, "@exit " + std::to_string(exitCode) + "\r\n"), 0U);
    return path;
  }

  std::string createFileCommand(std::string_view path) override {
    return "cmd.exe /c echo started> \"" + std::string(path) + "\"";
  }

 private:
  win32::Win32Environment environment_;
  win32::Win32FileSystem files_;
  win32::Win32Processes processes_;
  std::string scratch_;
};

}  // namespace

std::unique_ptr<ServicesUnderTest> MakeServicesUnderTest() {
  return std::make_unique<Win32Services>();
}

}  // namespace corvane::testing
