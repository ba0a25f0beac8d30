#include "platform/win32/win32_system_info.h"

#include <cwchar>
#include <iterator>

#include "platform/win32/win32_util.h"

namespace corvane::win32 {
namespace {

// kernel32 functions that Windows XP (or its first releases) lacks, looked up at run time
// so that the program still starts there.
template <typename Function>
Function Kernel32Function(const char* name) {
  HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  if (kernel32 == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(kernel32, name)));
}

}  // namespace

std::optional<OsVersionInfo> Win32SystemInfo::VersionEx() {
  OSVERSIONINFOEXW record{};
  record.dwOSVersionInfoSize = sizeof record;
  if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&record))) return std::nullopt;
  OsVersionInfo info;
  info.majorVersion = record.dwMajorVersion;
  info.minorVersion = record.dwMinorVersion;
  info.buildNumber = record.dwBuildNumber;
  info.platformId = record.dwPlatformId;
  const wchar_t* csd = std::data(record.szCSDVersion);
  info.servicePack = Narrow(std::wstring_view(csd, ::wcsnlen(csd, std::size(record.szCSDVersion))));
  info.servicePackMajor = record.wServicePackMajor;
  info.servicePackMinor = record.wServicePackMinor;
  info.suiteMask = record.wSuiteMask;
  info.productType = record.wProductType;
  return info;
}

std::uint16_t Win32SystemInfo::NativeProcessorArchitecture() {
  SYSTEM_INFO info{};
  using GetNativeSystemInfoFn = void(WINAPI*)(LPSYSTEM_INFO);
  if (const auto native = Kernel32Function<GetNativeSystemInfoFn>("GetNativeSystemInfo")) {
    native(&info);
  } else {
    ::GetSystemInfo(&info);
  }
  return info.wProcessorArchitecture;
}

std::optional<std::uint32_t> Win32SystemInfo::ProductInfo(std::uint32_t major, std::uint32_t minor,
                                                          std::uint32_t spMajor,
                                                          std::uint32_t spMinor) {
  using GetProductInfoFn = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, PDWORD);
  const auto getProductInfo = Kernel32Function<GetProductInfoFn>("GetProductInfo");
  if (getProductInfo == nullptr) return std::nullopt;
  DWORD type = 0;  // PRODUCT_UNDEFINED
  getProductInfo(major, minor, spMajor, spMinor, &type);
  return type;
}

int Win32SystemInfo::ServerR2() {
  constexpr int kSmServerR2 = 89;  // SM_SERVERR2
  return ::GetSystemMetrics(kSmServerR2);
}

}  // namespace corvane::win32
