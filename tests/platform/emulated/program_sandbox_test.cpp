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
#include "platform/emulated/program_output_log.h"
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

  const std::string body =
      R"sh(log="$CORVANE_MACHINE/drive_c/log.txt" beside="$1" listed="$2" home="$3"
try() { if eval "$2" 2>/dev/null; then echo "$1 yes" >> "$log"; else echo "$1 no" >> "$log"; fi; }
try inside 'echo in > "$CORVANE_MACHINE/drive_c/inside.txt"'
try machine 'echo x > "$CORVANE_MACHINE/note.txt"'
try beside 'echo out > "$beside/escape.txt"'
try listed-read 'test "$(cat "$listed")" = tool'
try listed-write 'echo changed > "$listed"'
try system 'echo x > /usr/corvane-escape'
try home 'echo x > "$home/corvane-escape"'
try tmp 'echo x > /tmp/scratch && test -f /tmp/scratch'
)sh";
  const char* home = std::getenv("HOME");
  EXPECT_EQ(RunScript(machine, body,
                      (outside_ / "data").string() + " " + listed.string() + " " +
                          (home != nullptr ? home : "/root")),
            0U);
  // Beside the emulated Windows nothing new can be put in the machine folder.
  EXPECT_EQ(ReadHost(root_ / "drive_c/log.txt"),
            "inside yes\nmachine no\nbeside no\nlisted-read yes\nlisted-write no\n"
            "system no\nhome no\ntmp yes\n");
  EXPECT_EQ(ReadHost(root_ / "drive_c/inside.txt"), "in\n");
  EXPECT_FALSE(fs::exists(root_ / "note.txt"));
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

// What steers the emulation (settings, the test CA, locks, logs) cannot be changed, replaced
// or made by the programs of the PC, so an installer cannot switch its confinement off or
// trust a CA of its own; what an elevated installer changes on Windows stays writable.
TEST_F(ProgramSandboxTest, ProgramsChangeTheWindowsButNotTheEmulation) {
  fs::create_directories(root_ / "certs");
  fs::create_directories(root_ / "locks");
  std::ofstream(root_ / "machine.ini") << "[programs]\nconfined = yes\n";
  std::ofstream(root_ / "usb.ini") << "";
  std::ofstream(root_ / "certs/bank-test-ca.pem") << "ca";
  std::ofstream(root_ / "drive_c.attributes") << "";
  Machine machine(root_);
  const struct {
    const char* name;
    const char* command;
    bool works;
  } cases[] = {
      {"sed-machine-ini", R"(sed -i 's/^confined = yes/confined = no/' machine.ini)", false},
      {"append-machine-ini", "echo 'confined = no' >> machine.ini", false},
      {"replace-machine-ini", "rm -f machine.ini && echo 'confined = no' > machine.ini", false},
      {"make-network-ini", "echo '[network]' > network.ini", false},
      {"make-cache-ini", "echo x > cache.ini", false},
      {"change-usb-ini", "echo 096e:0702 >> usb.ini", false},
      {"replace-ca", "echo mine > certs/bank-test-ca.pem", false},
      {"make-ca", "rm -f certs/bank-test-ca.pem; echo mine > certs/other-ca.pem", false},
      {"take-lock", "echo x > locks/{00F157BD-8A90-4E44-B955-4E3C41C6047E}.lock", false},
      {"forge-log", "echo forged > programs.log", false},
      {"forge-starts", "echo forged > processes.log", false},
      {"registry", "echo x > registry/new.reg", true},
      {"drive-c", "mkdir -p drive_c/Windows && echo x > drive_c/Windows/new.dll", true},
      {"root-store", "mkdir -p certs/machine/ROOT && echo x > certs/machine/ROOT/a.cer", true},
      {"user-store", "mkdir -p certs/user/CA && echo x > certs/user/CA/a.cer", true},
      {"attributes", "echo x >> drive_c.attributes", true},
  };
  std::string body = "cd \"$CORVANE_MACHINE\"\nlog=drive_c/log.txt\n";
  std::string expected;
  for (const auto& c : cases) {
    body += std::string("if (") + c.command + ") 2>/dev/null; then echo '" + c.name +
            " yes' >> $log; else echo '" + c.name + " no' >> $log; fi\n";
    expected += std::string(c.name) + (c.works ? " yes\n" : " no\n");
  }
  EXPECT_EQ(RunScript(machine, body, ""), 0U);
  EXPECT_EQ(ReadHost(root_ / "drive_c/log.txt"), expected);
  EXPECT_EQ(ReadHost(root_ / "machine.ini"), "[programs]\nconfined = yes\n");
  EXPECT_EQ(ReadHost(root_ / "certs/bank-test-ca.pem"), "ca");
  for (const char* missing : {"network.ini", "cache.ini", "certs/other-ca.pem"}) {
    EXPECT_FALSE(fs::exists(root_ / missing)) << missing;
  }
}

// The host's variables (access tokens among them) stay out; a program sees what a Windows
// program would, a PATH of the sandbox and the machine.
TEST_F(ProgramSandboxTest, ProgramsGetTheMachinesEnvironmentOnly) {
  ::setenv("CORVANE_TEST_ACCESS_TOKEN", "secret", 1);
  Machine machine(root_);
  EXPECT_EQ(RunScript(machine, "env > \"$CORVANE_MACHINE/drive_c/env.txt\"\n", ""), 0U);
  ::unsetenv("CORVANE_TEST_ACCESS_TOKEN");
  const std::string env = ReadHost(root_ / "drive_c/env.txt");
  EXPECT_EQ(env.find("CORVANE_TEST_ACCESS_TOKEN"), std::string::npos) << env;
  EXPECT_NE(env.find("\nPATH=/run/corvane:/usr/local/bin:/usr/bin:/bin\n"), std::string::npos)
      << env;
  EXPECT_NE(env.find("CORVANE_MACHINE=" + fs::absolute(root_).string() + "\n"), std::string::npos);
  EXPECT_NE(env.find("USERNAME=User\n"), std::string::npos) << env;
  EXPECT_NE(env.find("SystemRoot=C:\\Windows\n"), std::string::npos) << env;
  // Only the variables listed, and the sanitizer options when this build has them.
  std::size_t lines = 0;
  for (const char c : env) lines += c == '\n' ? 1 : 0;
  EXPECT_LT(lines, 40U) << env;
}

// A program cannot leave anything running behind it: what it starts in the background, in
// a session of its own or immune to hang-ups, ends when it ends.
TEST_F(ProgramSandboxTest, WhatAProgramStartsEndsWithIt) {
  Machine machine(root_);
  const std::string body = R"sh(late="$CORVANE_MACHINE/drive_c"
setsid sh -c "sleep 1; echo late > '$late/setsid.txt'" &
nohup sh -c "sleep 1; echo late > '$late/nohup.txt'" >/dev/null 2>&1 &
(trap '' HUP TERM; sleep 1; echo late > "$late/subshell.txt") &
echo started > "$late/started.txt"
exit 3
)sh";
  EXPECT_EQ(RunScript(machine, body, ""), 3U);  // its exit code, waited for
  EXPECT_EQ(ReadHost(root_ / "drive_c/started.txt"), "started\n");
  ::usleep(1800 * 1000);
  for (const char* file : {"setsid.txt", "nohup.txt", "subshell.txt"}) {
    EXPECT_FALSE(fs::exists(root_ / "drive_c" / file)) << file;
  }
}

// What programs print goes to the machine's log, never to the caller's terminal.
TEST_F(ProgramSandboxTest, OutputGoesToTheMachinesLog) {
  Machine machine(root_);
  EXPECT_EQ(RunScript(machine, "echo to-output\necho to-error >&2\n", ""), 0U);
  machine.processes.flushOutput();
  EXPECT_EQ(ReadHost(root_ / "programs.log"), "--- C:\\probe.cmd\nto-output\nto-error\n");
}

TEST(ProgramOutputLogTest, KeepsTheLatestOutputWithinTwiceTheLimit) {
  const fs::path folder = NewFolder("corvane-program-log");
  {
    ProgramOutputLog log(folder / "programs.log", 100);
    for (int i = 0; i < 30; ++i) {
      UniqueFd write(log.open("P" + std::to_string(i)));
      ASSERT_GE(write.get(), 0);
      const std::string line = "line " + std::to_string(i) + "\n";
      ASSERT_EQ(::write(write.get(), line.data(), line.size()), static_cast<ssize_t>(line.size()));
      ASSERT_TRUE(write.Close());
      log.flush();
    }
  }
  const std::string latest = ReadHost(folder / "programs.log");
  const std::string older = ReadHost(folder / "programs.log.1");
  EXPECT_LE(latest.size(), 100U);
  EXPECT_LE(older.size(), 100U);
  EXPECT_NE(latest.find("--- P29\nline 29\n"), std::string::npos) << latest;
  EXPECT_FALSE(older.empty());
  std::error_code ignored;
  fs::remove_all(folder, ignored);
}

// Scripts that change the machine as installers do find its tool at one path inside,
// wherever the build is; a relative machine folder works as an absolute one.
TEST_F(ProgramSandboxTest, MachineToolAndScriptsAreFoundInside) {
  const fs::path tool = outside_ / "build/corvane-machine";
  fs::create_directories(tool.parent_path());
  std::ofstream(tool) << "#!/bin/sh\necho \"tool $*\" > \"$CORVANE_MACHINE/drive_c/tool.txt\"\n";
  fs::permissions(tool, fs::perms::owner_all);
  const fs::path current = fs::current_path();
  fs::current_path(root_.parent_path());
  {
    Machine machine(root_.filename());
    machine.processes.setMachineTool(tool);
    EXPECT_EQ(RunScript(machine, "corvane-machine by-name\n/run/corvane/corvane-machine a\n", ""),
              0U);
    EXPECT_EQ(ReadHost(root_ / "drive_c/tool.txt"), "tool a\n");
  }
  fs::current_path(current);
}

// An interpreter the sandbox does not show cannot be started there: the start fails as for
// a missing program (an installer then asks 安装失败), never counted as run.
TEST_F(ProgramSandboxTest, ProgramTheSandboxCannotStartIsNotStarted) {
  const fs::path interpreter = outside_ / "bin/corvane-shell";
  fs::create_directories(interpreter.parent_path());
  fs::copy_file("/bin/sh", interpreter);
  Machine machine(root_);
  ASSERT_EQ(machine.files.writeFile(R"(C:\setup.cmd)", "#!" + interpreter.string() + "\nexit 0\n"),
            0U);
  std::uint32_t exitCode = 0xFFFF;
  EXPECT_EQ(machine.processes.run(R"(C:\setup.cmd)", true, &exitCode), win::kErrorFileNotFound);
  EXPECT_EQ(exitCode, 0xFFFFU);
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
