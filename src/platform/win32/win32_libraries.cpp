#include "platform/win32/win32_libraries.h"

#include <string>

#include "platform/win32/win32_util.h"
#include "platform/win_errors.h"

namespace corvane::win32 {
namespace {

bool IsFullWindowsPath(std::string_view path) {
  const bool drive = path.size() >= 3 &&
                     ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                     path[1] == ':' && (path[2] == '\\' || path[2] == '/');
  const bool unc = path.size() >= 3 && path[0] == '\\' && path[1] == '\\';
  return drive || unc;
}

// The contained call of this thread. The exception handler reaches nothing but globals, so
// the jump target lives in a thread-local, and the handler acts only on the thread that set
// it.
struct Containment {
  void* jump[5] = {};       // __builtin_setjmp's buffer
  volatile DWORD code = 0;  // written by the handler, read after the jump back
#if defined(__i386__)
  void* sehChain = nullptr;  // the frame-based handler chain at the start of the call
#endif
};
thread_local Containment* t_containment = nullptr;  // NOLINT: reached from the handler

bool IsHardwareFault(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
      return true;
    default:
      return false;  // a stack overflow leaves no stack to recover on
  }
}

// Where a contained fault resumes: the handler returns to the system, which releases what it
// holds while dispatching, and execution goes on here, which jumps back to the call's start.
[[noreturn]] void Landing() { __builtin_longjmp(t_containment->jump, 1); }

LONG CALLBACK OnException(EXCEPTION_POINTERS* info) {
  Containment* containment = t_containment;
  if (containment == nullptr || !IsHardwareFault(info->ExceptionRecord->ExceptionCode)) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  containment->code = info->ExceptionRecord->ExceptionCode;
  CONTEXT* context = info->ContextRecord;
  // Land below the faulting frame, aligned as right after a call.
#if defined(__x86_64__)
  context->Rsp = ((context->Rsp - 512) & ~static_cast<DWORD64>(15)) - 8;
  context->Rip = reinterpret_cast<DWORD64>(&Landing);
#else
  context->Esp = ((context->Esp - 512) & ~static_cast<DWORD>(15)) - 4;
  context->Eip = reinterpret_cast<DWORD>(&Landing);
#endif
  return EXCEPTION_CONTINUE_EXECUTION;
}

// Nothing with a destructor lives in this frame, which the landing jumps back into.
__attribute__((noinline)) std::uint32_t RunContained(void (*call)(void*), void* context) {
  Containment containment;
#if defined(__i386__)
  // The head of the chain is the first word of the thread's block, at fs:0.
  asm volatile("movl %%fs:0, %0" : "=r"(containment.sehChain));
#endif
  void* handler = ::AddVectoredExceptionHandler(1, &OnException);
  if (handler == nullptr) return LastError();
  std::uint32_t result = 0;
  if (__builtin_setjmp(containment.jump) == 0) {
    t_containment = &containment;
    call(context);
  } else {
#if defined(__i386__)
    // The library's own frame handlers died with its frames.
    asm volatile("movl %0, %%fs:0" : : "r"(containment.sehChain) : "memory");
#endif
    result = containment.code;
  }
  t_containment = nullptr;
  ::RemoveVectoredExceptionHandler(handler);
  return result;
}

}  // namespace

std::uint32_t Win32Libraries::load(std::string_view fullPath, LibraryHandle* library) {
  *library = {};
  if (!IsFullWindowsPath(fullPath) || fullPath.find('\0') != std::string_view::npos) {
    return win::kErrorInvalidParameter;
  }
  // Never freed: a vendor library stays loaded for the life of the process.
  HMODULE module = ::LoadLibraryW(Wide(fullPath).c_str());
  if (module == nullptr) return LastError();
  library->value = module;
  return win::kErrorSuccess;
}

LibraryExport Win32Libraries::lookup(LibraryHandle library, std::string_view name) {
  if (!library) return nullptr;
  const std::string symbol(name);
  if (symbol.find('\0') != std::string::npos) return nullptr;
  FARPROC address = ::GetProcAddress(static_cast<HMODULE>(library.value), symbol.c_str());
  return reinterpret_cast<LibraryExport>(address);  // NOLINT: GetProcAddress's contract
}

std::uint32_t Win32Libraries::callContained(void (*call)(void* context), void* context) {
  return RunContained(call, context);
}

}  // namespace corvane::win32
