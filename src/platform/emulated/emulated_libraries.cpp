#include "platform/emulated/emulated_libraries.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/emulated/program_sandbox.h"
#include "platform/emulated/unique_fd.h"
#include "platform/environment.h"
#include "platform/win_errors.h"

extern char** environ;  // NOLINT(readability-redundant-declaration): POSIX declares it nowhere

namespace corvane::emulated {
namespace {

// The helper's process: killed and collected when it goes, whatever state it is in.
class HelperProcess {
 public:
  explicit HelperProcess(pid_t pid) : pid_(pid) {}
  HelperProcess(const HelperProcess&) = delete;
  HelperProcess& operator=(const HelperProcess&) = delete;
  HelperProcess(HelperProcess&&) = delete;
  HelperProcess& operator=(HelperProcess&&) = delete;
  ~HelperProcess() {
    if (pid_ <= 0) return;  // never kill(-1): that would reach every process of the user
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  // Whether it ended before the deadline.
  bool waitUntil(std::chrono::steady_clock::time_point deadline) {
    for (;;) {
      int status = 0;
      const pid_t ended = ::waitpid(pid_, &status, WNOHANG);
      if (ended == pid_) {
        pid_ = -1;  // collected: nothing to kill
        return true;
      }
      if (ended < 0 && errno != EINTR) {
        pid_ = -1;  // not ours to collect any more
        return true;
      }
      if (std::chrono::steady_clock::now() >= deadline) return false;
      ::usleep(5000);
    }
  }

 private:
  pid_t pid_;
};

bool IsFullWindowsPath(std::string_view path) {
  return path.size() >= 3 &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
         path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

bool IsSharedObject(const std::filesystem::path& host) {
  const UniqueFd fd(::open(host.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (fd.get() < 0) return false;
  std::array<char, 4> magic{};
  return ::read(fd.get(), magic.data(), magic.size()) == 4 && magic[0] == '\x7f' &&
         magic[1] == 'E' && magic[2] == 'L' && magic[3] == 'F';
}

// The contained call of this thread. A signal handler reaches nothing but globals, so the
// jump target lives in a thread-local; the handler acts only on the thread that set it.
struct Containment {
  sigjmp_buf jump{};
  volatile std::sig_atomic_t signal = 0;
};
thread_local Containment* t_containment = nullptr;  // NOLINT: reached from a signal handler

constexpr std::array<int, 4> kFaultSignals{SIGSEGV, SIGBUS, SIGILL, SIGFPE};
// The handlers in place before the contained call; restored by the call, or by the handler
// for a fault on another thread so that the fault reaches them.
std::array<struct sigaction, kFaultSignals.size()> g_previous{};  // NOLINT: as above

void OnFault(int signal, siginfo_t* /*info*/, void* /*context*/) {
  if (Containment* containment = t_containment) {
    containment->signal = signal;
    // NOLINTNEXTLINE(cppcoreguidelines-pro-bounds-array-to-pointer-decay): the macro's form
    siglongjmp(containment->jump, 1);
  }
  // Not ours: give the fault back to whoever handled it before; the faulting instruction
  // runs again and reaches them.
  for (std::size_t i = 0; i < kFaultSignals.size(); ++i) {
    if (kFaultSignals[i] == signal) ::sigaction(signal, &g_previous[i], nullptr);
  }
}

std::uint32_t ExceptionCodeOf(int signal) {
  switch (signal) {
    case SIGILL:
      return kExceptionIllegalInstruction;
    case SIGFPE:
      return kExceptionIntDivideByZero;
    case SIGBUS:
      return kExceptionInPageError;
    default:
      return kExceptionAccessViolation;
  }
}

// Runs call with the handlers installed; kept apart so that nothing with a destructor lives
// in the frame that siglongjmp returns to.
std::uint32_t RunContained(void (*call)(void*), void* context) {
  Containment containment;
  struct sigaction action {};
  action.sa_sigaction = &OnFault;
  action.sa_flags = SA_SIGINFO | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  for (std::size_t i = 0; i < kFaultSignals.size(); ++i) {
    ::sigaction(kFaultSignals[i], &action, &g_previous[i]);
  }
  std::uint32_t result = 0;
  // NOLINTNEXTLINE(cppcoreguidelines-pro-bounds-array-to-pointer-decay): the macro's form
  if (sigsetjmp(containment.jump, 1) == 0) {
    t_containment = &containment;
    call(context);
  } else {
    result = ExceptionCodeOf(containment.signal);
  }
  t_containment = nullptr;
  for (std::size_t i = 0; i < kFaultSignals.size(); ++i) {
    ::sigaction(kFaultSignals[i], &g_previous[i], nullptr);
  }
  return result;
}

}  // namespace

EmulatedLibraries::EmulatedLibraries(const MachineFolder& folder, const Environment& environment)
    : folder_(folder), environment_(environment), drive_(folder.driveC()) {}

void EmulatedLibraries::readInThisProcess() {
  const std::lock_guard lock(mutex_);
  inThisProcess_ = true;
}

void EmulatedLibraries::setConfinement(ProgramConfinement confinement) {
  const std::lock_guard lock(mutex_);
  confinement_ = std::move(confinement);
  sandboxWorks_ = false;
}

void EmulatedLibraries::setHelperTimeLimit(std::chrono::milliseconds limit) {
  const std::lock_guard lock(mutex_);
  timeLimit_ = limit;
}

std::filesystem::path EmulatedLibraries::HelperProgram() {
  constexpr const char* kName = "corvane-key-reader";
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    std::filesystem::path beside = self.parent_path() / kName;
    if (::access(beside.c_str(), X_OK) == 0) return beside;
  }
#if defined(CORVANE_KEY_READER_BUILD_PATH)
  return CORVANE_KEY_READER_BUILD_PATH;
#else
  return {};
#endif
}

std::optional<Libraries::HelperRead> EmulatedLibraries::readInHelper(
    std::string_view adapterClass) {
  ProgramConfinement confinement;
  std::chrono::milliseconds timeLimit{};
  bool sandboxWorks = false;
  {
    const std::lock_guard lock(mutex_);
    if (inThisProcess_) return std::nullopt;
    confinement = confinement_;
    timeLimit = timeLimit_;
    sandboxWorks = sandboxWorks_;
  }
  HelperRead read;
  const std::filesystem::path helper = HelperProgram();
  if (helper.empty() || ::access(helper.c_str(), X_OK) != 0) {
    read.error = win::kErrorFileNotFound;
    return read;
  }
  std::error_code ec;
  const std::filesystem::path machine = std::filesystem::absolute(folder_.root(), ec);
  std::vector<std::string> argv = {helper.string(), machine.string(), environment_.modulePath(),
                                   std::string(adapterClass)};
  if (confinement.confined) {
    SandboxPlan plan;
    plan.machine = machine;
    plan.workingFolder = machine;
    plan.network = false;
    plan.newSession = true;
    plan.dieWithParent = true;
    plan.readOnly = confinement.readOnly;
    plan.readOnly.push_back(helper);
    // As for installers, the files that steer the emulation stay read-only to the library.
    plan.protectedPaths = MachineFolder(machine).controlFiles();
    if (!sandboxWorks) {
      if (const std::string problem = ProbeSandbox(plan); !problem.empty()) {
        (void)std::fprintf(stderr, "emulated PC: the USB key libraries are not read: %s.\n",
                           problem.c_str());
        read.error = win::kErrorAccessDenied;
        return read;
      }
      const std::lock_guard lock(mutex_);
      sandboxWorks_ = true;
    }
    std::vector<std::string> confined = {FindBubblewrap().string()};
    for (std::string& arg : SandboxArguments(plan, argv)) confined.push_back(std::move(arg));
    argv = std::move(confined);
  }
  std::vector<char*> pointers;
  pointers.reserve(argv.size() + 1);
  for (std::string& arg : argv) pointers.push_back(arg.data());
  pointers.push_back(nullptr);

  std::array<int, 2> pipe{-1, -1};
  if (::pipe2(pipe.data(), O_CLOEXEC) != 0) {
    read.error = win::kErrorNotEnoughMemory;
    return read;
  }
  UniqueFd reading(pipe[0]);
  UniqueFd writing(pipe[1]);
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) {
    read.error = win::kErrorNotEnoughMemory;
    return read;
  }
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, writing.get(), STDOUT_FILENO);
  pid_t pid = 0;
  const int error = posix_spawn(&pid, pointers[0], &actions, nullptr, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    read.error = win::kErrorAccessDenied;
    return read;
  }
  HelperProcess process(pid);
  writing.Close();
  const auto deadline = std::chrono::steady_clock::now() + timeLimit;
  std::array<char, 4096> buffer{};
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      read.error = kErrorWaitTimeout;
      return read;
    }
    pollfd ready{reading.get(), POLLIN, 0};
    const int polled = ::poll(&ready, 1, static_cast<int>(left.count()));
    if (polled < 0 && errno == EINTR) continue;
    if (polled == 0) continue;  // the deadline is checked above
    const ssize_t got = ::read(reading.get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    if (read.output.size() + static_cast<std::size_t>(got) > kMostHelperOutput) {
      read.error = win::kErrorInvalidData;
      read.output.clear();
      return read;
    }
    read.output.append(buffer.data(), static_cast<std::size_t>(got));
  }
  if (!process.waitUntil(deadline)) read.error = kErrorWaitTimeout;
  return read;
}

std::uint32_t EmulatedLibraries::load(std::string_view fullPath, LibraryHandle* library) {
  *library = {};
  if (!IsFullWindowsPath(fullPath)) return win::kErrorInvalidParameter;
  ResolvedPath resolved;
  if (const std::uint32_t error =
          drive_.resolve(fullPath, environment_.currentDirectory(), resolved)) {
    return error == win::kErrorAccessDenied ? error : kErrorModNotFound;
  }
  if (!resolved.exists || resolved.isDirectory) return kErrorModNotFound;
  if (!IsSharedObject(resolved.host)) return win::kErrorBadExeFormat;
  {
    const std::lock_guard lock(mutex_);
    if (!inThisProcess_) {
      library->value = this;  // a placeholder: found, but not loaded here
      return win::kErrorSuccess;
    }
  }
  // Never closed: a library stays loaded for the life of the process, as on Windows here.
  void* handle = ::dlopen(resolved.host.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return win::kErrorBadExeFormat;
  library->value = handle;
  return win::kErrorSuccess;
}

LibraryExport EmulatedLibraries::lookup(LibraryHandle library, std::string_view name) {
  if (!library || library.value == this) return nullptr;
  const std::string symbol(name);
  if (symbol.find('\0') != std::string::npos) return nullptr;
  void* address = ::dlsym(library.value, symbol.c_str());
  // POSIX guarantees that a function's address survives the trip through void*.
  return reinterpret_cast<LibraryExport>(address);  // NOLINT
}

std::uint32_t EmulatedLibraries::callContained(void (*call)(void* context), void* context) {
  return RunContained(call, context);
}

}  // namespace corvane::emulated
