#include "platform/emulated/emulated_processes.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "platform/command_line.h"
#include "platform/emulated/machine_files.h"
#include "platform/emulated/program_sandbox.h"
#include "platform/emulated/registrable_file.h"
#include "platform/emulated/unique_fd.h"
#include "platform/environment.h"
#include "platform/win_errors.h"
#include "platform/windows_path.h"

extern char** environ;  // NOLINT(readability-redundant-declaration): POSIX declares it nowhere

namespace corvane::emulated {
namespace {

// The interpreter line of a script: "#!", the interpreter, an optional single argument.
struct Interpreter {
  std::string program;
  std::string argument;
};

std::optional<Interpreter> ReadInterpreter(const std::filesystem::path& script, bool& isScript) {
  isScript = false;
  std::ifstream in(script, std::ios::binary);
  std::string line(256, '\0');
  in.read(line.data(), static_cast<std::streamsize>(line.size()));
  line.resize(static_cast<std::size_t>(in.gcount()));
  if (line.size() < 2 || line[0] != '#' || line[1] != '!') return std::nullopt;
  isScript = true;
  const std::size_t end = line.find('\n');
  if (end == std::string::npos) return std::nullopt;  // longer than any sane interpreter line
  std::string_view text = std::string_view(line).substr(2, end - 2);
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  const std::size_t split = std::find_if(text.begin(), text.end(), blank) - text.begin();
  Interpreter interpreter{std::string(text.substr(0, split)), {}};
  std::string_view rest = text.substr(split);
  while (!rest.empty() && blank(rest.front())) rest.remove_prefix(1);
  interpreter.argument = std::string(rest);
  if (interpreter.program.empty()) return std::nullopt;
  return interpreter;
}

std::uint32_t SpawnError(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return win::kErrorFileNotFound;
    case ENOEXEC:
      return win::kErrorBadExeFormat;
    case ENOMEM:
    case EAGAIN:
      return win::kErrorNotEnoughMemory;
    default:
      return win::kErrorAccessDenied;
  }
}

// posix_spawn's attribute and file-action objects, destroyed with the scope.
class SpawnActions {
 public:
  SpawnActions() : ok_(posix_spawn_file_actions_init(&actions_) == 0) {}
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  SpawnActions(SpawnActions&&) = delete;
  SpawnActions& operator=(SpawnActions&&) = delete;
  ~SpawnActions() {
    if (ok_) posix_spawn_file_actions_destroy(&actions_);
  }
  [[nodiscard]] bool ok() const { return ok_; }
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_{};
  bool ok_;
};

// Whether the host has `program` (a path, or a name looked up on PATH) to run.
bool HostHasProgram(const std::string& program) {
  if (program.find('/') != std::string::npos) return ::access(program.c_str(), X_OK) == 0;
  const char* path = std::getenv("PATH");
  const std::string_view folders = path != nullptr ? path : "/usr/bin:/bin";
  for (std::size_t start = 0; start <= folders.size();) {
    const std::size_t end = std::min(folders.find(':', start), folders.size());
    const std::filesystem::path candidate =
        std::filesystem::path(folders.substr(start, end - start)) / program;
    if (end > start && ::access(candidate.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

// The descriptor on which the launcher inside the sandbox reports a program it cannot start.
constexpr int kStartCheckFd = 3;

// Runs as `sh -c kLauncher sh SCRIPT -- PROGRAM ARGS...`: checks that SCRIPT (if not empty)
// can be read and PROGRAM found, writes one byte to the start pipe and ends if not, else
// closes the pipe and becomes the program.
constexpr const char* kLauncher =
    "if [ -n \"$1\" ] && [ ! -r \"$1\" ]; then printf x >&3; exit 127; fi; shift 2; "
    "if ! command -v \"$1\" >/dev/null 2>&1; then printf x >&3; exit 127; fi; "
    "exec 3>&-; exec \"$@\"";

// The variables of the emulated Windows a program is given, besides CORVANE_MACHINE and a
// PATH of the sandbox's own.
constexpr std::array<std::string_view, 29> kWindowsVariables = {"ALLUSERSPROFILE",
                                                                "APPDATA",
                                                                "CommonProgramFiles",
                                                                "CommonProgramFiles(x86)",
                                                                "CommonProgramW6432",
                                                                "COMPUTERNAME",
                                                                "ComSpec",
                                                                "HOMEDRIVE",
                                                                "HOMEPATH",
                                                                "LOCALAPPDATA",
                                                                "NUMBER_OF_PROCESSORS",
                                                                "OS",
                                                                "Path",
                                                                "PATHEXT",
                                                                "PROCESSOR_ARCHITECTURE",
                                                                "PROCESSOR_ARCHITEW6432",
                                                                "ProgramData",
                                                                "ProgramFiles",
                                                                "ProgramFiles(x86)",
                                                                "ProgramW6432",
                                                                "PUBLIC",
                                                                "SystemDrive",
                                                                "SystemRoot",
                                                                "TEMP",
                                                                "TMP",
                                                                "USERDOMAIN",
                                                                "USERNAME",
                                                                "USERPROFILE",
                                                                "windir"};

// Passed on from this process: a sanitized build's programs need their runtime's options.
constexpr std::array<std::string_view, 5> kSanitizerVariables = {
    "ASAN_OPTIONS", "TSAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "MSAN_OPTIONS"};

std::vector<std::pair<std::string, std::string>> ConfinedEnvironment(const Environment& environment,
                                                                     const std::string& machine) {
  std::vector<std::pair<std::string, std::string>> variables;
  for (const std::string_view name : kWindowsVariables) {
    if (auto value = environment.variable(name)) variables.emplace_back(name, std::move(*value));
  }
  for (const std::string_view name : kSanitizerVariables) {
    if (const char* value = std::getenv(std::string(name).c_str())) {
      variables.emplace_back(name, value);
    }
  }
  variables.emplace_back("PATH",
                         std::string(kConfinedToolFolder) + ":/usr/local/bin:/usr/bin:/bin");
  variables.emplace_back("HOME", "/tmp");
  variables.emplace_back("TMPDIR", "/tmp");
  variables.emplace_back("LANG", "C.UTF-8");
  variables.emplace_back("CORVANE_MACHINE", machine);
  return variables;
}

std::uint32_t ExitCodeOf(int status) {
  if (WIFEXITED(status)) return static_cast<std::uint32_t>(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return 128U + static_cast<std::uint32_t>(WTERMSIG(status));
  return 1;
}

}  // namespace

EmulatedProcesses::EmulatedProcesses(const MachineFolder& folder, const Environment& environment)
    : folder_(folder),
      environment_(environment),
      drive_(folder.driveC()),
#ifdef CORVANE_MACHINE_TOOL
      machineTool_(CORVANE_MACHINE_TOOL),
#endif
      output_(folder.programLog()) {
}

EmulatedProcesses::~EmulatedProcesses() { reapEnded(); }

void EmulatedProcesses::reapEnded() {
  std::erase_if(running_, [](pid_t pid) {
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) != 0;  // ended, or not ours any more
  });
}

std::uint32_t EmulatedProcesses::findProgram(std::string_view commandLine, ResolvedPath& program,
                                             std::string_view& arguments) const {
  const std::string current = environment_.currentDirectory();
  const std::string moduleFolder(PathParent(environment_.modulePath()));
  std::vector<std::string> searchFolders = {moduleFolder, current, R"(C:\Windows\System32)",
                                            R"(C:\Windows\System)", R"(C:\Windows)"};
  const std::string path = environment_.variable("PATH").value_or("");
  for (std::size_t start = 0; start <= path.size();) {
    const std::size_t end = std::min(path.find(';', start), path.size());
    if (end > start) searchFolders.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }

  std::uint32_t error = win::kErrorFileNotFound;
  bool firstReading = true;
  for (const ProgramToken& token : ProgramTokens(commandLine)) {
    std::string name = token.program;
    if (!PathHasExtension(name)) name += ".exe";
    const bool hasFolder = name.find_first_of("\\/:") != std::string::npos;
    std::vector<std::string> candidates;
    if (hasFolder) {
      candidates.push_back(name);
    } else {
      for (const std::string& searchFolder : searchFolders) {
        candidates.push_back(PathJoin(searchFolder, name));
      }
    }
    for (const std::string& candidate : candidates) {
      ResolvedPath resolved;
      const std::uint32_t result = drive_.resolve(candidate, current, resolved);
      if (result == win::kErrorSuccess && resolved.exists && !resolved.isDirectory) {
        program = std::move(resolved);
        arguments = token.rest;
        return win::kErrorSuccess;
      }
      // A missing folder in the plain reading of the name says more than "not found".
      if (firstReading && hasFolder && result != win::kErrorSuccess) error = result;
    }
    firstReading = false;
  }
  return error;
}

std::uint32_t EmulatedProcesses::spawn(std::string_view commandLine, pid_t& pid) {
  ResolvedPath program;
  std::string_view arguments;
  if (const std::uint32_t error = findProgram(commandLine, program, arguments)) return error;

  std::vector<std::string> argv;
  ResolvedPath installed;
  std::filesystem::path programHost;
  {
    const std::lock_guard lock(mutex_);
    programHost = programHost_;
  }
  const bool isProgramHost =
      !programHost.empty() &&
      drive_.resolve(environment_.modulePath(), "C:\\", installed) == win::kErrorSuccess &&
      installed.exists && installed.key == program.key;
  std::error_code ec;
  // Absolute: the program starts in another folder, and inside the sandbox.
  const std::filesystem::path script = std::filesystem::absolute(program.host, ec);
  if (isProgramHost) {
    argv.push_back(programHost.string());
  }
  // A pinned program runs its pinned bytes: confined, they are bound over its own path;
  // unconfined, the copy itself is run.
  const std::filesystem::path image = bytesOf(program);
  bool runsConfined = false;
  {
    const std::lock_guard lock(mutex_);
    runsConfined = confinement_.confined;
  }
  if (!isProgramHost) {
    bool isScript = false;
    const std::optional<Interpreter> interpreter = ReadInterpreter(image, isScript);
    if (!interpreter) return win::kErrorBadExeFormat;
    // Checked here: inside the sandbox a missing interpreter would be an exit code.
    if (!HostHasProgram(interpreter->program)) return win::kErrorFileNotFound;
    argv.push_back(interpreter->program);
    if (!interpreter->argument.empty()) argv.push_back(interpreter->argument);
    argv.push_back(runsConfined || image == program.host ? script.string() : image.string());
  }
  for (std::string& argument : SplitArguments(arguments)) argv.push_back(std::move(argument));

  const std::string machine = std::filesystem::absolute(folder_.root(), ec).string();
  std::vector<std::string> env;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    if (std::string_view(*entry).starts_with("CORVANE_MACHINE=")) continue;
    env.emplace_back(*entry);
  }
  env.push_back("CORVANE_MACHINE=" + machine);

  ResolvedPath currentFolder;
  std::filesystem::path workingFolder = drive_.hostRoot();
  if (drive_.resolve(environment_.currentDirectory(), "C:\\", currentFolder) == 0 &&
      currentFolder.isDirectory) {
    workingFolder = currentFolder.host;
  }
  bool confined = false;
  if (const std::uint32_t error =
          confine(argv, isProgramHost, workingFolder, program.windows,
                  isProgramHost ? std::string() : script.string(), confined,
                  isProgramHost || image == program.host ? std::filesystem::path() : image)) {
    return error;
  }

  std::vector<char*> argvPointers;
  argvPointers.reserve(argv.size() + 1);
  for (std::string& argument : argv) argvPointers.push_back(argument.data());
  argvPointers.push_back(nullptr);
  std::vector<char*> envPointers;
  envPointers.reserve(env.size() + 1);
  for (std::string& entry : env) envPointers.push_back(entry.data());
  envPointers.push_back(nullptr);

  SpawnActions actions;
  if (!actions.ok() ||
      posix_spawn_file_actions_addchdir_np(actions.get(), workingFolder.c_str()) != 0) {
    return win::kErrorNotEnoughMemory;
  }
  // The machine's own program keeps the caller's terminal (it may run a terminal page);
  // what scripts print goes to the machine's log.
  std::optional<UniqueFd> output;
  if (!isProgramHost) {
    output.emplace(output_.open(program.windows));
    if (output->get() < 0) return win::kErrorNotEnoughMemory;
    if (posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0) !=
            0 ||
        posix_spawn_file_actions_adddup2(actions.get(), output->get(), STDOUT_FILENO) != 0 ||
        posix_spawn_file_actions_adddup2(actions.get(), output->get(), STDERR_FILENO) != 0) {
      return win::kErrorNotEnoughMemory;
    }
  }
  // Inside the sandbox the launcher says on this pipe when the program cannot be started
  // there; its end closes unwritten when the program runs.
  std::optional<UniqueFd> startRead;
  std::optional<UniqueFd> startWrite;
  if (confined && !isProgramHost) {
    std::array<int, 2> pipe{-1, -1};
    if (::pipe2(pipe.data(), O_CLOEXEC) != 0) return win::kErrorNotEnoughMemory;
    startRead.emplace(pipe[0]);
    startWrite.emplace(pipe[1]);
    if (posix_spawn_file_actions_adddup2(actions.get(), startWrite->get(), kStartCheckFd) != 0) {
      return win::kErrorNotEnoughMemory;
    }
  }
  {
    const std::lock_guard lock(mutex_);
    reapEnded();
  }
  // posix_spawnp: the interpreter may be named without a folder, as in "#!sh".
  if (const int error = posix_spawnp(&pid, argvPointers[0], actions.get(), nullptr,
                                     argvPointers.data(), envPointers.data())) {
    return SpawnError(error);
  }
  output.reset();
  if (startWrite) {
    startWrite->Close();
    char failed = 0;
    ssize_t got = 0;
    do {
      got = ::read(startRead->get(), &failed, 1);
    } while (got < 0 && errno == EINTR);
    if (got == 1) {
      int status = 0;
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      return win::kErrorFileNotFound;
    }
  }
  return win::kErrorSuccess;
}

std::uint32_t EmulatedProcesses::runUntilStopped(std::string_view commandLine,
                                                 const std::stop_token& stop) {
  if (runRegsvr32(commandLine)) return win::kErrorSuccess;
  pid_t pid = 0;
  if (const std::uint32_t error = spawn(commandLine, pid)) return error;
  while (!stop.stop_requested()) {
    int status = 0;
    const pid_t ended = ::waitpid(pid, &status, WNOHANG);
    if (ended == pid || (ended < 0 && errno != EINTR)) return win::kErrorSuccess;
    ::usleep(20000);
  }
  // Left to run; collected later, or by the system when this process ends.
  const std::lock_guard lock(mutex_);
  running_.push_back(pid);
  return win::kErrorSuccess;
}

std::uint32_t EmulatedProcesses::run(std::string_view commandLine, bool wait,
                                     std::uint32_t* exitCode) {
  if (const auto code = runRegsvr32(commandLine)) {
    if (exitCode != nullptr) *exitCode = *code;
    return win::kErrorSuccess;
  }
  pid_t pid = 0;
  if (const std::uint32_t error = spawn(commandLine, pid)) return error;
  if (!wait) {
    const std::lock_guard lock(mutex_);
    running_.push_back(pid);
    return win::kErrorSuccess;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return win::kErrorSuccess;  // started; its end is unknown
  }
  if (exitCode != nullptr) *exitCode = ExitCodeOf(status);
  return win::kErrorSuccess;
}

void EmulatedProcesses::setRegistry(Registry* registry) {
  const std::lock_guard lock(mutex_);
  registry_ = registry;
}

std::optional<std::uint32_t> EmulatedProcesses::runRegsvr32(std::string_view commandLine) {
  const std::vector<ProgramToken> tokens = ProgramTokens(commandLine);
  if (tokens.empty()) return std::nullopt;
  const std::string& program = tokens.front().program;
  const std::string_view folder = PathParent(program);
  const auto lower = [](std::string_view text) {
    std::string folded(text);
    for (char& c : folded) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
  };
  const std::string name = lower(program.substr(folder.empty() ? 0 : folder.size() + 1));
  const std::string where = lower(folder);
  if ((name != "regsvr32" && name != "regsvr32.exe") ||
      !(where.empty() || where == R"(c:\windows\system32)" || where == R"(c:\windows\syswow64)")) {
    return std::nullopt;
  }
  Registry* registry = nullptr;
  {
    const std::lock_guard lock(mutex_);
    registry = registry_;
  }
  if (registry == nullptr) return std::nullopt;  // then only a file of that name runs
  bool unregister = false;
  std::optional<std::string> file;
  for (const std::string& argument : SplitArguments(tokens.front().rest)) {
    if (argument.starts_with('/') || argument.starts_with('-')) {
      const std::string option = lower(argument.substr(1));
      if (option == "u") unregister = true;
      if (option == "s" || option == "u" || option == "n" || option.starts_with("i")) continue;
      return 1U;
    }
    if (file) return 1U;  // one file at a time keeps the exit code meaningful
    file = argument;
  }
  if (!file) return 1U;
  ResolvedPath resolved;
  if (drive_.resolve(*file, environment_.currentDirectory(), resolved) != win::kErrorSuccess ||
      !resolved.exists || resolved.isDirectory) {
    return 3U;
  }
  // A registrable file is a short text; anything large is not one.
  constexpr std::uintmax_t kMaxSize = 1U << 20U;
  const std::filesystem::path bytes = bytesOf(resolved);
  std::error_code ec;
  if (std::filesystem::file_size(bytes, ec) > kMaxSize || ec) return 4U;
  std::ifstream in(bytes, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.is_open() || in.bad()) return 3U;
  const auto classes = ParseRegistrableFile(text);
  if (!classes) return 4U;
  for (const std::string& clsid : *classes) {
    const std::string key = "CLSID\\" + clsid;
    if (unregister) {
      const std::uint32_t server =
          registry->DeleteKey(RegistryRoot::kClassesRoot, key + "\\InprocServer32");
      const std::uint32_t own = registry->DeleteKey(RegistryRoot::kClassesRoot, key);
      if ((server != 0 && server != win::kErrorFileNotFound) ||
          (own != 0 && own != win::kErrorFileNotFound && own != win::kErrorAccessDenied)) {
        return 5U;
      }
      continue;
    }
    RegistryKey handle;
    if (registry->CreateKey(RegistryRoot::kClassesRoot, key + "\\InprocServer32",
                            win::kKeyRead | win::kKeyWrite, handle) != 0 ||
        handle.SetString("", resolved.windows) != 0) {
      return 5U;
    }
  }
  return 0U;
}

void EmulatedProcesses::setPinnedFiles(const PinnedFiles* pins) {
  const std::lock_guard lock(mutex_);
  pins_ = pins;
}

std::filesystem::path EmulatedProcesses::bytesOf(const ResolvedPath& resolved) const {
  const PinnedFiles* pins = nullptr;
  {
    const std::lock_guard lock(mutex_);
    pins = pins_;
  }
  if (pins == nullptr) return resolved.host;
  return pins->copyOf(resolved.key).value_or(resolved.host);
}

void EmulatedProcesses::setProgramHost(std::filesystem::path hostProgram,
                                       std::vector<std::filesystem::path> writable) {
  const std::lock_guard lock(mutex_);
  programHost_ = std::move(hostProgram);
  programHostWritable_ = std::move(writable);
}

void EmulatedProcesses::setConfinement(ProgramConfinement confinement) {
  const std::lock_guard lock(mutex_);
  confinement_ = std::move(confinement);
  sandboxWorks_ = {};
}

std::string EmulatedProcesses::confinementError() const {
  const std::lock_guard lock(mutex_);
  return confinementError_;
}

std::uint32_t EmulatedProcesses::confine(std::vector<std::string>& argv, bool isProgramHost,
                                         const std::filesystem::path& workingFolder,
                                         const std::string& name, const std::string& script,
                                         bool& confined, const std::filesystem::path& pinnedImage) {
  SandboxPlan plan;
  std::filesystem::path tool;
  {
    const std::lock_guard lock(mutex_);
    confined = confinement_.confined;
    if (!confined) return win::kErrorSuccess;
    plan.readOnly = confinement_.readOnly;
    plan.network = isProgramHost ? confinement_.hostNetwork : confinement_.scriptNetwork;
    if (isProgramHost) {
      plan.readOnly.push_back(programHost_);
      plan.writable = programHostWritable_;
    }
    tool = machineTool_;
  }
  std::error_code ec;
  plan.machine = std::filesystem::absolute(folder_.root(), ec);
  plan.workingFolder = std::filesystem::absolute(workingFolder, ec);
  const MachineFolder machine(plan.machine);
  for (const std::filesystem::path& file : machine.controlFiles()) {
    plan.protectedPaths.push_back(file);
  }
  if (isProgramHost) {
    // The machine's own program (this build's) keeps the machine folder writable: it holds
    // the instance lock, records its image and its starts, and its environment is the one
    // it was given.
  } else {
    // What an installer leaves running in the background ends with it.
    plan.endsItsDescendants = true;
    // The emulated Windows is all a script may change; nothing new can be put beside it.
    plan.machineReadOnly = true;
    for (const std::filesystem::path& folder : machine.windowsFolders()) {
      std::filesystem::create_directories(folder, ec);
      plan.writable.push_back(folder);
    }
    for (const std::filesystem::path& file : machine.windowsFiles()) plan.writable.push_back(file);
    if (!tool.empty()) plan.mounted.emplace_back(tool, kConfinedMachineTool);
    if (!pinnedImage.empty()) plan.mounted.emplace_back(pinnedImage, script);
    plan.environment = ConfinedEnvironment(environment_, plan.machine.string());
  }
  // The machine's own program may run a terminal page; scripts get no terminal to steer.
  plan.newSession = !isProgramHost;

  const std::size_t which = plan.network ? 1 : 0;
  bool works = false;
  {
    const std::lock_guard lock(mutex_);
    works = sandboxWorks_.at(which);
  }
  if (!works) {
    // Tried once per kind of sandbox: bwrap's exit status cannot tell its own failure
    // from the program's, so a failure must be seen before the program runs.
    const std::string problem = ProbeSandbox(plan);
    const std::lock_guard lock(mutex_);
    if (!problem.empty()) {
      confinementError_ = problem;
      (void)std::fprintf(stderr,
                         "emulated PC: %s was not started: programs of the PC run confined, "
                         "but %s. Install bubblewrap, or set confined = no under [programs] in "
                         "%s to run them unconfined.\n",
                         name.c_str(), problem.c_str(), folder_.machineIni().string().c_str());
      return win::kErrorAccessDenied;
    }
    sandboxWorks_.at(which) = true;
  }
  std::vector<std::string> command;
  if (!isProgramHost) {
    // A program or script that is not there inside (an interpreter outside the system's
    // folders) is reported on the start pipe rather than run as a failing program.
    command = {"/bin/sh", "-c", kLauncher, "sh", script, "--"};
  }
  command.insert(command.end(), std::make_move_iterator(argv.begin()),
                 std::make_move_iterator(argv.end()));
  std::vector<std::string> sandboxed = {FindBubblewrap().string()};
  for (std::string& arg : SandboxArguments(plan, command)) sandboxed.push_back(std::move(arg));
  argv = std::move(sandboxed);
  return win::kErrorSuccess;
}

void EmulatedProcesses::setMachineTool(std::filesystem::path tool) {
  const std::lock_guard lock(mutex_);
  machineTool_ = std::move(tool);
}

void EmulatedProcesses::flushOutput() { output_.flush(); }

std::uint32_t EmulatedProcesses::startAsDesktopUser(std::string_view commandLine) {
  if (commandLine.find_first_not_of(" \t") == std::string_view::npos ||
      commandLine.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
    return win::kErrorInvalidParameter;
  }
  std::string line(commandLine);
  line += '\n';
  const std::lock_guard lock(mutex_);
  // One write of the whole line, appended, so concurrent starts never interleave.
  if (AppendMachineFile(folder_.root(), startLog().filename(), line) != MachineFileStatus::kOk) {
    return win::kErrorAccessDenied;
  }
  return win::kErrorSuccess;
}

}  // namespace corvane::emulated
