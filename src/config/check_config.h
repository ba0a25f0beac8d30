#pragma once

// The check results and the configuration model that item.xml is parsed into. The dialog
// owns one CheckConfig; checks receive it and write their own result flag.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

struct ConfigEntry {
  std::string text;   // the entry's text, in every section
  std::string name;   // "registry" and "dns" sections
  std::string type;   // "registry" sections
  std::string value;  // "registry": wanted data; "dns": the allowed address (ip)
  std::string mask;   // "registry" sections
};

struct ConfigSection {
  std::string type;
  std::vector<ConfigEntry> entries;
};

struct DetectRule {
  std::string text;  // class id, registry location, file path or USB identifiers
  std::string type;  // "clsid", "reg", "file", "service" or "usbkey"
};

struct InstallerSpec {
  std::string url;        // resolved against base
  std::string command;    // "%1" stands for the downloaded file
  std::string localPath;  // DownloadPathFor(url)
  std::string md5;        // stored, not used
};

struct FileSpec {
  std::string text;       // not used
  std::string localPath;  // expanded `local`, or DownloadPathFor(url)
  std::string url;        // ResolveUrl(remote, base)
  std::string version;    // dotted decimal, up to four parts
  std::string md5;        // 32 lower-case hex digits, or empty
  std::string install;    // "regserver" registers the downloaded file
};

// The state word of a component: a code in the low 30 bits and two flags.
using ComponentState = std::uint32_t;
inline constexpr ComponentState kComponentInstalled = 0;
inline constexpr ComponentState kComponentNotDetected = 7;
inline constexpr ComponentState kComponentDisabledFlag = 0x40000000U;
inline constexpr ComponentState kComponentKeyAbsentFlag = 0x80000000U;

struct CheckItem {
  std::string name;
  std::string type;  // "SafeActiveX", "SignActiveX", "UkeyActiveX" or "driver"
  std::string tips;
  std::string image;
  std::string className;  // the `class` attribute: the USB key adapter class
  std::vector<DetectRule> detects;
  std::vector<InstallerSpec> installers;
  std::vector<FileSpec> files;
  std::int32_t selectedId = 0;
  ComponentState state = kComponentNotDetected;
};

struct AppInfo {
  std::string version;
  std::string remote;
  std::string localPath;
  std::string md5;
};

struct CheckConfig {
  bool configLoaded = false;
  bool serviceProbeDone = false;
  bool homepageOk = false;
  bool registryOk = false;
  bool hostsOk = false;
  bool connected = false;
  bool dnsOk = false;
  bool serviceOk = false;
  bool securityLevelOk = false;
  bool trustedSitesOk = false;
  bool rootCertOk = false;
  std::string dnsLineName;  // left by the name-resolution check

  std::string base;
  std::vector<ConfigSection> sections;
  std::vector<CheckItem> items;  // list positions 1, 2, ... of the install commands
  std::vector<CheckItem> components;
  AppInfo appInfo;
};

}  // namespace corvane
