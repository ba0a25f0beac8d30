// The services under test natively: a fresh emulated PC in a temporary host folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <system_error>

#include "files_under_test.h"
#include "platform/emulated/emulated_environment.h"
#include "platform/emulated/emulated_file_system.h"
#include "platform/emulated/emulated_processes.h"
#include "platform/windows_path.h"

namespace corvane::testing {
namespace {

class EmulatedServices final : public ServicesUnderTest {
 public:
  explicit EmulatedServices(std::filesystem::path root)
      : root_(std::move(root)),
        folder_(root_),
        environment_(folder_, emulated::MachineIdentity{}),
        files_(folder_, environment_),
        processes_(folder_, environment_) {
    processes_.setPinnedFiles(&files_.pins());
    scratch_ = environment_.tempFolder() + "corvane-test";
    EXPECT_EQ(files_.createDirectory(scratch_), 0U);
  }

  ~EmulatedServices() override {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  Environment& environment() override { return environment_; }
  FileSystem& files() override { return files_; }
  Processes& processes() override { return processes_; }
  [[nodiscard]] bool underWine() const override { return false; }
  [[nodiscard]] std::string scratch() const override { return scratch_; }

  std::string writeExitProgram(std::string_view folder, std::string_view name,
                               int exitCode) override {
    const std::string path = PathJoin(folder, std::string(name) + ".exe");
    EXPECT_EQ(files_.writeFile(path, "#!/bin/sh\nexit " + std::to_string(exitCode) + "\n"), 0U);
    return path;
  }

  std::string createFileCommand(std::string_view path) override {
    // The script maps the Windows path it gets onto the machine's drive_c.
    const std::string script = PathJoin(scratch_, "make-file.exe");
    EXPECT_EQ(files_.writeFile(script,
                               "#!/bin/sh\n"
                               "p=$(printf '%s' \"$1\" | sed -e 's/^[A-Za-z]://' -e 's|\\\\|/|g')\n"
                               ": > \"$CORVANE_MACHINE/drive_c$p\"\n"),
              0U);
    return "\"" + script + "\" \"" + std::string(path) + "\"";
  }

 private:
  std::filesystem::path root_;
  emulated::MachineFolder folder_;
  emulated::EmulatedEnvironment environment_;
  emulated::EmulatedFileSystem files_;
  emulated::EmulatedProcesses processes_;
  std::string scratch_;
};

}  // namespace

std::unique_ptr<ServicesUnderTest> MakeServicesUnderTest() {
  std::random_device random;
  const std::filesystem::path root =
      std::filesystem::temp_directory_path() /
      ("corvane-machine-" + std::to_string(random()) + std::to_string(random()));
  return std::make_unique<EmulatedServices>(root);
}

}  // namespace corvane::testing
