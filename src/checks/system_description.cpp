#include "checks/system_description.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/platform.h"
#include "platform/registry.h"
#include "platform/system_info.h"
#include "platform/utf.h"
#include "platform/win_errors.h"

namespace corvane {
namespace {

constexpr std::uint16_t kSuiteEnterprise = 0x0002;
constexpr std::uint16_t kSuiteDatacenter = 0x0080;
constexpr std::uint16_t kSuitePersonal = 0x0200;
constexpr std::uint16_t kSuiteBlade = 0x0400;
constexpr std::uint16_t kSuiteStorageServer = 0x2000;
constexpr std::uint16_t kSuiteComputeServer = 0x4000;
constexpr std::uint16_t kSuiteWhServer = 0x8000;

struct Edition {
  std::uint32_t productType;
  std::string_view text;
};

// GetProductInfo's types that have a text; others add nothing.
constexpr std::array<Edition, 18> kEditions = {{
    {1, "旗舰版"},
    {2, "家庭普通版"},
    {3, "家庭高级版"},
    {4, "企业版"},
    {6, "商用版"},
    {7, "Standard Edition"},
    {8, "Datacenter Edition"},
    {9, "Small Business Server"},
    {10, "Enterprise Edition"},
    {11, "初级版"},
    {12, "Datacenter Edition (core installation)"},
    {13, "Standard Edition (core installation)"},
    {14, "Enterprise Edition (core installation)"},
    {15, "Enterprise Edition for Itanium-based Systems"},
    {17, "Web Server Edition"},
    {18, "Cluster Server Edition"},
    {25, "Small Business Server Premium Edition"},
    {48, "专业版"},
}};

bool Has(std::uint16_t suite, std::uint16_t flag) { return (suite & flag) != 0; }

// The edition of a Windows Server 2003 (5.2) that is not a workstation.
std::string_view Server2003Edition(std::uint16_t architecture, std::uint16_t suite) {
  if (architecture == win::kProcessorArchitectureIa64) {
    if (Has(suite, kSuiteDatacenter)) return "Datacenter Edition for Itanium-based Systems";
    if (Has(suite, kSuiteEnterprise)) return "Enterprise Edition for Itanium-based Systems";
    return {};
  }
  if (architecture == win::kProcessorArchitectureAmd64) {
    if (Has(suite, kSuiteDatacenter)) return "Datacenter x64 Edition";
    if (Has(suite, kSuiteEnterprise)) return "Enterprise x64 Edition";
    return "Standard x64 Edition";
  }
  if (Has(suite, kSuiteComputeServer)) return "Compute Cluster Edition";
  if (Has(suite, kSuiteDatacenter)) return "Datacenter Edition";
  if (Has(suite, kSuiteEnterprise)) return "Enterprise Edition";
  if (Has(suite, kSuiteBlade)) return "Web Edition";
  return "Standard Edition";
}

void AppendVersion6(std::string& text, const OsVersionInfo& version, SystemInfo& system) {
  const bool workstation = version.productType == win::kVerNtWorkstation;
  switch (version.minorVersion) {
    case 0:
      text += workstation ? "Windows Vista " : "Windows Server 2008 ";
      break;
    case 1:
      text += workstation ? "Windows 7 " : "Windows Server 2008 R2 ";
      break;
    case 2:
      if (workstation) text += "Windows 8 ";
      break;
    default:
      break;
  }
  if (const std::optional<std::uint32_t> product =
          system.ProductInfo(version.majorVersion, version.minorVersion, 0, 0)) {
    for (const Edition& edition : kEditions) {
      if (edition.productType == *product) text += edition.text;
    }
  }
}

void AppendVersion5(std::string& text, const OsVersionInfo& version, SystemInfo& system,
                    std::uint16_t architecture) {
  const std::uint16_t suite = version.suiteMask;
  const bool workstation = version.productType == win::kVerNtWorkstation;
  switch (version.minorVersion) {
    case 2:
      if (system.ServerR2() != 0) {
        text += "Windows Server 2003 R2, ";
      } else if (Has(suite, kSuiteStorageServer)) {
        text += "Windows Storage Server 2003";
      } else if (Has(suite, kSuiteWhServer)) {
        text += "Windows Home Server";
      } else if (workstation && architecture == win::kProcessorArchitectureAmd64) {
        text += "Windows XP Professional x64 Edition";
      } else {
        text += "Windows Server 2003, ";
      }
      if (!workstation) text += Server2003Edition(architecture, suite);
      break;
    case 1:
      text += "Windows XP ";
      text += Has(suite, kSuitePersonal) ? "家庭版" : "专业版";
      break;
    case 0:
      text += "Windows 2000 ";
      if (workstation) {
        text += "专业版";
      } else if (Has(suite, kSuiteDatacenter)) {
        text += "数据中心版";
      } else if (Has(suite, kSuiteEnterprise)) {
        text += "高级服务器版";
      } else {
        text += "服务器版";
      }
      break;
    default:
      break;
  }
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

}  // namespace

std::string DescribeWindowsVersion() {
  SystemInfo& system = CurrentPlatform().systemInfo();
  const std::optional<OsVersionInfo> version = system.VersionEx();
  if (!version) return "Error";
  const std::uint16_t architecture = system.NativeProcessorArchitecture();
  if (version->platformId != win::kVerPlatformWin32Nt || version->majorVersion <= 4) {
    return "Unknown version of Windows";
  }
  std::string text = "Microsoft ";
  if (version->majorVersion == 6) AppendVersion6(text, *version, system);
  if (version->majorVersion == 5) AppendVersion5(text, *version, system, architecture);
  if (!version->servicePack.empty()) {
    text += " ";
    text += version->servicePack;
    ReplaceAll(text, "Service Pack ", "SP");
  }
  // A build number is never negative, so it is shown unsigned.
  text += " (build " + std::to_string(version->buildNumber) + ")";
  if (version->majorVersion >= 6) {
    if (architecture == win::kProcessorArchitectureAmd64) text += " 64位";
    if (architecture == win::kProcessorArchitectureIntel) text += " 32位";
  }
  return text;
}

std::string ReadIeVersion() {
  std::array<std::uint8_t, 200> buffer{};
  RegistryValueInfo info;
  if (CurrentPlatform().registry().QueryUserSpecificValue("SOFTWARE\\Microsoft\\Internet Explorer",
                                                          "Version", true, buffer,
                                                          info) != win::kErrorSuccess ||
      (info.type != win::kRegSz && info.type != win::kRegExpandSz)) {
    return "0";
  }
  std::u16string text;
  for (std::size_t i = 0; i + 1 < info.size && i + 1 < buffer.size(); i += 2) {
    const auto unit = static_cast<char16_t>(buffer[i] | (buffer[i + 1] << 8U));
    if (unit == u'\0') break;
    text.push_back(unit);
  }
  return Utf16ToUtf8(text);
}

}  // namespace corvane
