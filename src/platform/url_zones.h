#pragma once

// Internet Explorer's URL security zones as urlmon's zone manager (IInternetZoneManager) and
// security manager (IInternetSecurityManager) show them. Windows: the COM objects, created
// in-process or out of it (CLSCTX_ALL) on the calling thread, which the service initialises
// for COM (apartment) for as long as a manager lives. The emulated PC: the same answers from
// its registry, kept where and as Internet Explorer keeps them:
//   HKCU (else HKLM) ...\Internet Settings\Zones\<zone>: "DisplayName", "Description",
//     "Icon", "MinLevel", "RecommendedLevel", "CurrentLevel", "Flags" and one DWORD per
//     action ("1001", "1A00", ...);
//   HKLM ...\Internet Settings\TemplatePolicies\<Low|MedLow|Medium|MedHigh|High>: the
//     per-action values of each template level;
//   HKCU (then HKLM) ...\Internet Settings\ZoneMap\Domains\<domain>[\<host part>]: one DWORD
//     per scheme ("https", or "*" for every scheme) giving the zone of that site;
//   HKCU (then HKLM) ...\Internet Settings\ZoneMap\ProtocolDefaults: the zone of each scheme
//     when no site maps.
// All HRESULTs; text is UTF-8.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/win_errors.h"

namespace corvane {

namespace win {

inline constexpr std::uint32_t kUrlZoneLocalMachine = 0;
inline constexpr std::uint32_t kUrlZoneIntranet = 1;
inline constexpr std::uint32_t kUrlZoneTrusted = 2;
inline constexpr std::uint32_t kUrlZoneInternet = 3;
inline constexpr std::uint32_t kUrlZoneUntrusted = 4;  // Restricted sites
inline constexpr std::uint32_t kUrlZoneInvalid = 0xFFFFFFFFU;

inline constexpr std::uint32_t kUrlTemplateCustom = 0;
inline constexpr std::uint32_t kUrlTemplateLow = 0x10000;
inline constexpr std::uint32_t kUrlTemplateMediumLow = 0x10500;
inline constexpr std::uint32_t kUrlTemplateMedium = 0x11000;
inline constexpr std::uint32_t kUrlTemplateMediumHigh = 0x11500;
inline constexpr std::uint32_t kUrlTemplateHigh = 0x12000;

inline constexpr std::uint32_t kZaFlagsRequireVerification = 0x4;  // sites must use https
inline constexpr std::uint32_t kZaFlagsNoCache = 0x40000;          // read past urlmon's cache

inline constexpr std::uint32_t kSzmCreate = 0;
inline constexpr std::uint32_t kSzmDelete = 1;

inline constexpr HResult kENotImpl = static_cast<HResult>(0x80004001U);
inline constexpr HResult kEAccessDenied = static_cast<HResult>(0x80070005U);
inline constexpr HResult kEInvalidArg = static_cast<HResult>(0x80070057U);

}  // namespace win

// ZONEATTRIBUTES. Windows keeps at most 259 UTF-16 units of the display name and the icon
// path and 199 of the description; longer text is cut when written.
struct ZoneAttributes {
  std::string displayName;
  std::string description;
  std::string iconPath;
  std::uint32_t templateMinLevel = 0;
  std::uint32_t templateRecommended = 0;
  std::uint32_t templateCurrentLevel = 0;
  std::uint32_t flags = 0;
};

class ZoneManager {
 public:
  ZoneManager() = default;
  ZoneManager(const ZoneManager&) = delete;
  ZoneManager& operator=(const ZoneManager&) = delete;
  ZoneManager(ZoneManager&&) = delete;
  ZoneManager& operator=(ZoneManager&&) = delete;
  virtual ~ZoneManager() = default;

  // GetZoneAttributes. `attributes.flags` goes in as the caller set it (kZaFlagsNoCache) and
  // comes back as the zone's flags. A zone that does not exist fails (E_INVALIDARG on
  // Windows, whatever the registry refuses with on the emulated PC).
  virtual win::HResult GetZoneAttributes(std::uint32_t zone, ZoneAttributes& attributes) = 0;
  // SetZoneAttributes: writes every field.
  virtual win::HResult SetZoneAttributes(std::uint32_t zone, const ZoneAttributes& attributes) = 0;
  // CopyTemplatePoliciesToZone: the zone's per-action values become the template level's.
  virtual win::HResult CopyTemplatePoliciesToZone(std::uint32_t templateLevel, std::uint32_t zone,
                                                  std::uint32_t reserved) = 0;
};

class SecurityManager {
 public:
  SecurityManager() = default;
  SecurityManager(const SecurityManager&) = delete;
  SecurityManager& operator=(const SecurityManager&) = delete;
  SecurityManager(SecurityManager&&) = delete;
  SecurityManager& operator=(SecurityManager&&) = delete;
  virtual ~SecurityManager() = default;

  // MapUrlToZone. On failure `zone` is kUrlZoneInvalid.
  virtual win::HResult MapUrlToZone(std::string_view url, std::uint32_t& zone,
                                    std::uint32_t flags) = 0;
  // SetZoneMapping with kSzmCreate or kSzmDelete. E_ACCESSDENIED when `zone` requires
  // server verification (kZaFlagsRequireVerification) and the pattern is not https.
  virtual win::HResult SetZoneMapping(std::uint32_t zone, std::string_view pattern,
                                      std::uint32_t flags) = 0;
};

class UrlZones {
 public:
  UrlZones() = default;
  UrlZones(const UrlZones&) = delete;
  UrlZones& operator=(const UrlZones&) = delete;
  UrlZones(UrlZones&&) = delete;
  UrlZones& operator=(UrlZones&&) = delete;
  virtual ~UrlZones() = default;

  // CoCreateInstance of the zone manager / security manager; the object is released when the
  // pointer goes. On failure the pointer is null and the result says why.
  virtual win::HResult CreateZoneManager(std::unique_ptr<ZoneManager>& manager) = 0;
  virtual win::HResult CreateSecurityManager(std::unique_ptr<SecurityManager>& manager) = 0;
};

}  // namespace corvane
