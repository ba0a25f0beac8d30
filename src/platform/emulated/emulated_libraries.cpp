#include "platform/emulated/emulated_libraries.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <csetjmp>
#include <csignal>
#include <string>

#include "platform/emulated/unique_fd.h"
#include "platform/environment.h"
#include "platform/win_errors.h"

namespace corvane::emulated {
namespace {

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
    : environment_(environment), drive_(folder.driveC()) {}

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
  // Never closed: a library stays loaded for the life of the process, as on Windows here.
  void* handle = ::dlopen(resolved.host.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return win::kErrorBadExeFormat;
  library->value = handle;
  return win::kErrorSuccess;
}

LibraryExport EmulatedLibraries::lookup(LibraryHandle library, std::string_view name) {
  if (!library) return nullptr;
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
