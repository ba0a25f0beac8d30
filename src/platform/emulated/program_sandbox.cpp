#include "platform/emulated/program_sandbox.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <system_error>

#include "platform/emulated/unique_fd.h"

extern char** environ;  // NOLINT(readability-redundant-declaration): POSIX declares it nowhere

namespace corvane::emulated {
namespace {

// Top-level folders of programs and libraries; on a merged-/usr system they are links
// into /usr and are made the same links inside.
constexpr std::array<std::string_view, 6> kSystemFolders = {"/bin",   "/sbin",  "/lib",
                                                            "/lib32", "/lib64", "/libx32"};

// What programs read of /etc to start (the loader, alternatives), to name users and groups,
// to look up host names and to check certificates; secrets such as /etc/shadow stay out.
constexpr std::array<std::string_view, 20> kEtcEntries = {
    "/etc/alternatives",    "/etc/ld.so.cache", "/etc/ld.so.conf",    "/etc/ld.so.conf.d",
    "/etc/passwd",          "/etc/group",       "/etc/nsswitch.conf", "/etc/localtime",
    "/etc/timezone",        "/etc/hosts",       "/etc/host.conf",     "/etc/resolv.conf",
    "/etc/gai.conf",        "/etc/services",    "/etc/protocols",     "/etc/ssl",
    "/etc/ca-certificates", "/etc/terminfo",    "/etc/mime.types",    "/etc/os-release"};

void Add(std::vector<std::string>& args, std::initializer_list<std::string_view> items) {
  for (const std::string_view item : items) args.emplace_back(item);
}

}  // namespace

std::vector<std::string> SandboxArguments(const SandboxPlan& plan,
                                          const std::vector<std::string>& command) {
  std::vector<std::string> args;
  // Namespaces first: a user namespace without capabilities, so even root inside cannot
  // remount what is read-only, and no way to make another one.
  Add(args, {"--unshare-user", "--unshare-ipc", "--unshare-pid", "--unshare-uts",
             "--unshare-cgroup-try", "--disable-userns", "--cap-drop", "ALL"});
  if (!plan.network) Add(args, {"--unshare-net"});
  if (plan.newSession) Add(args, {"--new-session"});
  // bwrap's own first process would wait for whatever the program left running.
  if (plan.endsItsDescendants) Add(args, {"--as-pid-1"});
  if (plan.dieWithParent) Add(args, {"--die-with-parent"});

  Add(args, {"--ro-bind", "/usr", "/usr"});
  for (const std::string_view folder : kSystemFolders) {
    std::error_code ec;
    const std::filesystem::path path(folder);
    if (std::filesystem::is_symlink(path, ec)) {
      const std::filesystem::path target = std::filesystem::read_symlink(path, ec);
      if (!ec) Add(args, {"--symlink", target.string(), folder});
    } else if (std::filesystem::is_directory(path, ec)) {
      Add(args, {"--ro-bind", folder, folder});
    }
  }
  for (const std::string_view entry : kEtcEntries) Add(args, {"--ro-bind-try", entry, entry});
  Add(args, {"--tmpfs", "/tmp", "--dev", "/dev", "--proc", "/proc"});
  for (const std::filesystem::path& path : plan.readOnly) {
    Add(args, {"--ro-bind-try", path.string(), path.string()});
  }
  // After /tmp's tmpfs, so a machine folder below /tmp is the real one.
  Add(args, {plan.machineReadOnly ? "--ro-bind" : "--bind", plan.machine.string(),
             plan.machine.string()});
  for (const std::filesystem::path& path : plan.writable) {
    Add(args, {"--bind-try", path.string(), path.string()});
  }
  for (const std::filesystem::path& path : plan.protectedPaths) {
    Add(args, {"--ro-bind-try", path.string(), path.string()});
  }
  for (const auto& [host, inside] : plan.mounted) {
    Add(args, {"--ro-bind-try", host.string(), inside.string()});
  }
  if (plan.environment) {
    Add(args, {"--clearenv"});
    for (const auto& [name, value] : *plan.environment) Add(args, {"--setenv", name, value});
  }
  Add(args, {"--chdir", plan.workingFolder.string(), "--"});
  args.insert(args.end(), command.begin(), command.end());
  return args;
}

std::vector<std::filesystem::path> SanitizerOptionFiles(std::string_view options) {
  constexpr std::string_view kKey = "suppressions=";
  std::vector<std::filesystem::path> files;
  for (std::size_t start = 0; start <= options.size();) {
    const std::size_t end = std::min(options.find(':', start), options.size());
    const std::string_view part = options.substr(start, end - start);
    if (part.starts_with(kKey) && part.size() > kKey.size() && part[kKey.size()] == '/') {
      files.emplace_back(part.substr(kKey.size()));
    }
    start = end + 1;
  }
  return files;
}

std::filesystem::path FindBubblewrap() {
  const char* path = std::getenv("PATH");
  const std::string_view folders = path != nullptr ? path : "/usr/bin:/bin";
  for (std::size_t start = 0; start <= folders.size();) {
    const std::size_t end = std::min(folders.find(':', start), folders.size());
    std::filesystem::path candidate =
        std::filesystem::path(folders.substr(start, end - start)) / "bwrap";
    if (end > start && ::access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

std::string ProbeSandbox(const SandboxPlan& plan) {
  const std::filesystem::path bwrap = FindBubblewrap();
  if (bwrap.empty()) return "bubblewrap (bwrap) is not installed";
  std::vector<std::string> argv = {bwrap.string()};
  for (std::string& arg : SandboxArguments(plan, {"true"})) argv.push_back(std::move(arg));
  std::vector<char*> pointers;
  pointers.reserve(argv.size() + 1);
  for (std::string& arg : argv) pointers.push_back(arg.data());
  pointers.push_back(nullptr);

  std::array<int, 2> pipe{-1, -1};
  if (::pipe2(pipe.data(), O_CLOEXEC) != 0) return "no pipe for bwrap's messages";
  UniqueFd reading(pipe[0]);
  UniqueFd writing(pipe[1]);
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return "out of memory";
  posix_spawn_file_actions_adddup2(&actions, writing.get(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, writing.get(), STDERR_FILENO);
  pid_t pid = 0;
  const int error = posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return bwrap.string() + " cannot be started: " + std::strerror(error);
  writing.Close();
  std::string message;
  std::array<char, 512> buffer{};
  for (;;) {
    const ssize_t got = ::read(reading.get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    if (message.size() < 4096) message.append(buffer.data(), static_cast<std::size_t>(got));
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  if (message.empty()) message = "it failed without saying why";
  return bwrap.string() + " cannot make a sandbox here: " + message;
}

}  // namespace corvane::emulated
