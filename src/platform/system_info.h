#pragma once

// What Windows says about itself: the extended version record (GetVersionEx with
// OSVERSIONINFOEX), the native processor architecture (GetNativeSystemInfo), the product
// type of Vista and later (GetProductInfo) and GetSystemMetrics(SM_SERVERR2).

#include <cstdint>
#include <optional>
#include <string>

namespace corvane {

namespace win {

inline constexpr std::uint32_t kVerPlatformWin32Nt = 2;
inline constexpr std::uint8_t kVerNtWorkstation = 1;
inline constexpr std::uint8_t kVerNtDomainController = 2;
inline constexpr std::uint8_t kVerNtServer = 3;
inline constexpr std::uint16_t kVerSuiteSingleUserTs = 0x0100;
inline constexpr std::uint16_t kProcessorArchitectureIntel = 0;
inline constexpr std::uint16_t kProcessorArchitectureIa64 = 6;
inline constexpr std::uint16_t kProcessorArchitectureAmd64 = 9;
inline constexpr std::uint32_t kProductUltimate = 0x00000001;

}  // namespace win

// OSVERSIONINFOEX, with the service-pack text in UTF-8.
struct OsVersionInfo {
  std::uint32_t majorVersion = 0;
  std::uint32_t minorVersion = 0;
  std::uint32_t buildNumber = 0;
  std::uint32_t platformId = 0;
  std::string servicePack;  // szCSDVersion, such as "Service Pack 1"; may be empty
  std::uint16_t servicePackMajor = 0;
  std::uint16_t servicePackMinor = 0;
  std::uint16_t suiteMask = 0;
  std::uint8_t productType = 0;

  bool operator==(const OsVersionInfo&) const = default;
};

class SystemInfo {
 public:
  SystemInfo() = default;
  SystemInfo(const SystemInfo&) = delete;
  SystemInfo& operator=(const SystemInfo&) = delete;
  virtual ~SystemInfo() = default;

  // GetVersionEx; nothing when the record is unavailable.
  virtual std::optional<OsVersionInfo> VersionEx() = 0;
  // wProcessorArchitecture of GetNativeSystemInfo (GetSystemInfo where that is missing).
  virtual std::uint16_t NativeProcessorArchitecture() = 0;
  // GetProductInfo's product type; nothing when the system lacks the function (before
  // Vista).
  virtual std::optional<std::uint32_t> ProductInfo(std::uint32_t major, std::uint32_t minor,
                                                   std::uint32_t spMajor,
                                                   std::uint32_t spMinor) = 0;
  // GetSystemMetrics(SM_SERVERR2): the build number of Windows Server 2003 R2, else 0.
  virtual int ServerR2() = 0;
};

}  // namespace corvane
