// Programs of the emulated PC run confined: they write the machine folder and nothing else
// of the host, read only what the settings list besides the system, reach the network only
// when allowed, and do not run at all when no sandbox can be made, unless the settings say
// to run them unconfined.
#include "platform/emulated/program_sandbox.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "platform/emulated/emulated_environment.h"
#include "platform/emulated/emulated_file_system.h"
#include "platform/emulated/emulated_processes.h"
#include "platform/emulated/unique_fd.h"
#include "platform/win_errors.h"

namespace corvane::emulated {
namespace {

namespace fs = std::filesystem;

fs::path NewFolder(std::string_view name) {
  std::random_device random;
  const fs::path path =
      fs::temp_directory_path() /
      (std::string(name) + "-" + std::to_string(random()) + std::to_string(random()));
  fs::create_directories(path);
  return path;
}

std::string ReadHost(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Sets PATH for the scope, as a machine without bwrap (or with a broken one) has it.
class ScopedPath {
 public:
  explicit ScopedPath(const std::string& value) {
    if (const char* old = std::getenv("PATH")) old_ = old;
    ::setenv("PATH", value.c_str(), 1);
  }
  ScopedPath(const ScopedPath&) = delete;
  ScopedPath& operator=(const ScopedPath&) = delete;
  ~ScopedPath() {
    if (old_) {
      ::setenv("PATH", old_->c_str(), 1);
    } else {
      ::unsetenv("PATH");
    }
  }

 private:
  std::optional<std::string> old_;
};

class ProgramSandboxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = NewFolder("corvane-confined-machine");
    outside_ = NewFolder("corvane-confined-outside");
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
    fs::remove_all(outside_, ignored);
  }

  struct Machine {
    explicit Machine(const fs::path& root)
        : folder(root),
          environment(folder, ReadMachineIdentity(folder)),
          files(folder, environment),
          processes(folder, environment) {}
    MachineFolder folder;
    EmulatedEnvironment environment;
    EmulatedFileSystem files;
    EmulatedProcesses processes;
  };

  // Runs "C:\probe.cmd ARGS" (a #!/bin/sh script) and returns its exit code.
  static std::uint32_t RunScript(Machine& machine, const std::string& body, const std::string& args,
                                 std::uint32_t* error = nullptr) {
    EXPECT_EQ(machine.files.writeFile(R"(C:\probe.cmd)", "#!/bin/sh\n" + body), 0U);
    std::uint32_t exitCode = 0xFFFF;
    const std::uint32_t result =
        machine.processes.run(R"("C:\probe.cmd" )" + args, true, &exitCode);
    if (error != nullptr) *error = result;
    EXPECT_TRUE(error != nullptr || result == 0U) << result;
    return exitCode;
  }

  fs::path root_;
  fs::path outside_;
};

// One script writes inside the machine and tries the host around it; it records what
// worked in the machine folder, the only place it can write.
// A sanitized build's programs inherit its options; the files named there must be readable
// inside, and only absolute names can be bound.
TEST(SanitizerOptionFilesTest, NamesTheAbsoluteSuppressionFiles) {
  const struct {
    const char* options;
    std::vector<fs::path> files;
  } cases[] = {
      {"halt_on_error=1:suppressions=/src/tests/tsan.supp", {"/src/tests/tsan.supp"}},
      {"suppressions=/a.supp:detect_leaks=1:suppressions=/b.supp", {"/a.supp", "/b.supp"}},
      {"suppressions=relative.supp:suppressions=", {}},
      {"", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SanitizerOptionFiles(c.options), c.files) << c.options;
  }
}

TEST_F(ProgramSandboxTest, ScriptWritesOnlyTheMachineFolder) {
  fs::create_directories(outside_ / "tools");
  fs::create_directories(outside_ / "data");
  const fs::path listed = outside_ / "tools/listed.txt";
  std::ofstream(listed) << "tool";
  Machine machine(root_);
  ProgramConfinement confinement;
  confinement.readOnly = {listed};
  machine.processes.setConfinement(confinement);

  const std::string body = R"sh(log="$CORVANE_MACHINE/drive_c/log.txt" beside="$1" listed="$2"
try() { if eval "$2" 2>/dev/null; then echo "$1 yes" >> "$log"; else echo "$1 no" >> "$log"; fi; }
try inside 'echo in > "$CORVANE_MACHINE/drive_c/inside.txt"'
try machine 'echo x > "$CORVANE_MACHINE/note.txt"'
try beside 'echo out > "$beside/escape.txt"'
try listed-read 'test "$(cat "$listed")" = tool'
try listed-write 'echo changed > "$listed"'
try system 'echo x > /usr/corvane-escape'
try home 'echo x > "$HOME/corvane-escape"'
try tmp 'echo x > /tmp/scratch && test -f /tmp/scratch'
)sh";
  EXPECT_EQ(RunScript(machine, body, (outside_ / "data").string() + " " + listed.string()), 0U);
  EXPECT_EQ(ReadHost(root_ / "drive_c/log.txt"),
            "inside yes\nmachine yes\nbeside no\nlisted-read yes\nlisted-write no\n"
            "system no\nhome no\ntmp yes\n");
  EXPECT_EQ(ReadHost(root_ / "drive_c/inside.txt"), "in\n");
  EXPECT_EQ(ReadHost(root_ / "note.txt"), "x\n");
  EXPECT_FALSE(fs::exists(outside_ / "data/escape.txt"));
  EXPECT_EQ(ReadHost(listed), "tool");
  EXPECT_FALSE(fs::exists("/usr/corvane-escape"));
  // The private /tmp is not the host's.
  EXPECT_FALSE(fs::exists("/tmp/scratch") && ReadHost("/tmp/scratch") == "x\n");
}

TEST_F(ProgramSandboxTest, NetworkOnlyWhenTheSettingsGiveIt) {
  UniqueFd server(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  ASSERT_GE(server.get(), 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(server.get(), reinterpret_cast<sockaddr*>(&address), length), 0);
  ASSERT_EQ(::listen(server.get(), 4), 0);
  ASSERT_EQ(::getsockname(server.get(), reinterpret_cast<sockaddr*>(&address), &length), 0);
  const std::string port = std::to_string(ntohs(address.sin_port));

  for (const bool network : {false, true}) {
    Machine machine(root_);
    ProgramConfinement confinement;
    confinement.scriptNetwork = network;
    machine.processes.setConfinement(confinement);
    EXPECT_EQ(
        RunScript(machine, "exec bash -c 'echo hello > /dev/tcp/127.0.0.1/$0' \"$1\"\n", port),
        network ? 0U : 1U)
        << "network " << network;
  }
}

// bwrap missing, or one that cannot make namespaces (as in some containers): the program
// does not run, and says why; only the unconfined setting runs it as it is.
TEST_F(ProgramSandboxTest, NoSandboxNoProgramUnlessUnconfined) {
  const fs::path tools = outside_ / "bin";
  fs::create_directories(tools);
  const fs::path broken = outside_ / "broken";
  fs::create_directories(broken);
  std::ofstream(broken / "bwrap")
      << "#!/bin/sh\necho 'bwrap: No permissions to creating new namespace' >&2\nexit 1\n";
  fs::permissions(broken / "bwrap", fs::perms::owner_all);

  const std::string body = "echo ran > \"$1/ran.txt\"\n";
  struct Case {
    std::string path;
    std::string reason;
  };
  for (const Case& c : {Case{tools.string(), "not installed"},
                        Case{broken.string(), "No permissions to creating new namespace"}}) {
    const ScopedPath path(c.path);
    Machine machine(root_);
    std::uint32_t error = 0;
    RunScript(machine, body, outside_.string(), &error);
    EXPECT_EQ(error, win::kErrorAccessDenied) << c.path;
    EXPECT_NE(machine.processes.confinementError().find(c.reason), std::string::npos)
        << machine.processes.confinementError();
    EXPECT_FALSE(fs::exists(outside_ / "ran.txt"));

    ProgramConfinement unconfined;
    unconfined.confined = false;
    machine.processes.setConfinement(unconfined);
    EXPECT_EQ(RunScript(machine, body, outside_.string()), 0U);
    EXPECT_EQ(ReadHost(outside_ / "ran.txt"), "ran\n");
    fs::remove(outside_ / "ran.txt");
  }
}

TEST_F(ProgramSandboxTest, MissingInterpreterIsAMissingFile) {
  Machine machine(root_);
  ASSERT_EQ(machine.files.writeFile(R"(C:\setup.cmd)", "#!/no/such/interpreter\n"), 0U);
  EXPECT_EQ(machine.processes.run(R"(C:\setup.cmd)", true, nullptr), win::kErrorFileNotFound);
  ASSERT_EQ(machine.files.writeFile(R"(C:\setup.cmd)", "#!corvane-no-such-shell\n"), 0U);
  EXPECT_EQ(machine.processes.run(R"(C:\setup.cmd)", true, nullptr), win::kErrorFileNotFound);
}

}  // namespace
}  // namespace corvane::emulated
