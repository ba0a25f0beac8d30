// Windows XP lacks GetTickCount64, yet the posix thread runtime that libstdc++ uses for
// std::thread imports it, which would stop the program from loading on XP at all. This
// object defines the import slot itself, so the linker never takes the kernel32 one; the
// runtime only uses it to measure timeouts, for which the performance counter serves.
#include "../win32_util.h"

namespace {

ULONGLONG WINAPI TickCount64() {
  LARGE_INTEGER frequency;
  LARGE_INTEGER counter;
  if (QueryPerformanceFrequency(&frequency) == FALSE || frequency.QuadPart <= 0 ||
      QueryPerformanceCounter(&counter) == FALSE) {
    return GetTickCount();
  }
  const auto f = static_cast<ULONGLONG>(frequency.QuadPart);
  const auto c = static_cast<ULONGLONG>(counter.QuadPart);
  // Split so that the multiplication cannot overflow however long the PC has been up.
  return (c / f) * 1000U + (c % f) * 1000U / f;
}

}  // namespace

extern "C" {
#if defined(_WIN64)
ULONGLONG(WINAPI* corvaneGetTickCount64Import)() __asm__("__imp_GetTickCount64") = TickCount64;
#else
ULONGLONG(WINAPI* corvaneGetTickCount64Import)() __asm__("__imp__GetTickCount64@0") = TickCount64;
#endif
}
