#include "platform/emulated/emulated_url_zones.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <vector>

#include "platform/utf.h"

namespace corvane::emulated {
namespace {

constexpr std::string_view kSettings =
    R"(Software\Microsoft\Windows\CurrentVersion\Internet Settings)";
constexpr std::uint32_t kErrorFileExists = 80;

// Key names joined with backslashes.
std::string KeyPath(std::initializer_list<std::string_view> parts) {
  std::string path;
  for (std::string_view part : parts) {
    if (!path.empty()) path += '\\';
    path += part;
  }
  return path;
}

win::HResult FromWin32(std::uint32_t error) { return win::HResultFromWin32(error); }

std::string ZoneKey(std::uint32_t zone) {
  return std::string(kSettings) + "\\Zones\\" + std::to_string(zone);
}

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

// Text cut to `units` UTF-16 units, as the fixed fields of ZONEATTRIBUTES keep it.
std::string Cut(std::string_view text, std::size_t units) {
  std::u16string wide = Utf8ToUtf16(text);
  if (wide.size() <= units) return std::string(text);
  // Never split a surrogate pair.
  if (units > 0 && wide[units - 1] >= 0xD800 && wide[units - 1] <= 0xDBFF) --units;
  wide.resize(units);
  return Utf16ToUtf8(wide);
}

// The keys HKCU first, then HKLM: the first that opens.
RegistryKey OpenUserThenMachine(Registry& registry, const std::string& path, std::uint32_t& error) {
  RegistryKey key;
  error = registry.OpenKey(RegistryRoot::kCurrentUser, path, win::kKeyRead, key);
  if (error == 0) return key;
  error = registry.OpenKey(RegistryRoot::kLocalMachine, path, win::kKeyRead, key);
  return key;
}

class EmulatedZoneManager final : public ZoneManager {
 public:
  explicit EmulatedZoneManager(Registry& registry) : registry_(registry) {}

  win::HResult GetZoneAttributes(std::uint32_t zone, ZoneAttributes& attributes) override {
    std::uint32_t error = 0;
    RegistryKey key = OpenUserThenMachine(registry_, ZoneKey(zone), error);
    if (error == win::kErrorFileNotFound) return win::kEInvalidArg;
    if (error != 0) return FromWin32(error);
    ZoneAttributes read;
    // Missing or mistyped values read as empty or 0, as urlmon leaves its record.
    key.ReadString("DisplayName", read.displayName);
    key.ReadString("Description", read.description);
    key.ReadString("Icon", read.iconPath);
    key.ReadDword("MinLevel", read.templateMinLevel);
    key.ReadDword("RecommendedLevel", read.templateRecommended);
    key.ReadDword("CurrentLevel", read.templateCurrentLevel);
    key.ReadDword("Flags", read.flags);
    attributes = std::move(read);
    return win::kSOk;
  }

  win::HResult SetZoneAttributes(std::uint32_t zone, const ZoneAttributes& attributes) override {
    RegistryKey key;
    std::uint32_t error =
        registry_.CreateKey(RegistryRoot::kCurrentUser, ZoneKey(zone), win::kKeyWrite, key);
    if (error != 0) return FromWin32(error);
    for (std::uint32_t e : {key.SetString("DisplayName", Cut(attributes.displayName, 259)),
                            key.SetString("Description", Cut(attributes.description, 199)),
                            key.SetString("Icon", Cut(attributes.iconPath, 259)),
                            key.SetDword("MinLevel", attributes.templateMinLevel),
                            key.SetDword("RecommendedLevel", attributes.templateRecommended),
                            key.SetDword("CurrentLevel", attributes.templateCurrentLevel),
                            key.SetDword("Flags", attributes.flags)}) {
      if (e != 0 && error == 0) error = e;
    }
    return FromWin32(error);
  }

  win::HResult CopyTemplatePoliciesToZone(std::uint32_t templateLevel, std::uint32_t zone,
                                          std::uint32_t /*reserved*/) override {
    const std::string_view name = TemplateLevelName(templateLevel);
    if (name.empty()) return win::kEInvalidArg;
    RegistryKey source;
    std::uint32_t error = registry_.OpenKey(
        RegistryRoot::kLocalMachine,
        std::string(kSettings) + "\\TemplatePolicies\\" + std::string(name), win::kKeyRead, source);
    if (error != 0) return FromWin32(error);
    RegistryKey target;
    error = registry_.CreateKey(RegistryRoot::kCurrentUser, ZoneKey(zone), win::kKeyWrite, target);
    if (error != 0) return FromWin32(error);
    std::vector<std::string> names;
    error = source.ValueNames(names);
    for (const std::string& value : names) {
      std::uint32_t type = 0;
      std::vector<std::uint8_t> data;
      if (source.ReadValue(value, type, data) != 0) continue;
      const std::uint32_t set = target.SetValue(value, type, data);
      if (set != 0 && error == 0) error = set;
    }
    return FromWin32(error);
  }

 private:
  Registry& registry_;
};

// A URL or site pattern taken apart as the zone map needs it.
struct Site {
  std::string scheme;     // lower case; "*" for a pattern without one
  std::string host;       // lower case, no user, no port; "" for a URL without authority
  bool wildcard = false;  // "*.name"
  bool hasAuthority = false;
};

bool IsSchemeChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '+' || c == '-' || c == '.';
}

std::optional<Site> ParseSite(std::string_view text, bool pattern) {
  Site site;
  std::string_view rest = text;
  const std::size_t colon = text.find(':');
  const bool schemeOk =
      colon != std::string_view::npos && colon > 0 &&
      std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(colon), IsSchemeChar) &&
      (!pattern || text.substr(colon).starts_with("://"));
  if (schemeOk) {
    site.scheme = Lower(text.substr(0, colon));
    rest = text.substr(colon + 1);
  } else if (pattern) {
    site.scheme = "*";
  } else {
    return std::nullopt;  // a URL needs its scheme
  }
  if (rest.starts_with("//")) {
    rest.remove_prefix(2);
    site.hasAuthority = true;
  } else if (pattern) {
    site.hasAuthority = true;  // "*.example.com" names a site without a scheme
  }
  if (!site.hasAuthority) return site;
  std::string_view authority = rest.substr(0, rest.find_first_of("/?#\\"));
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
    authority.remove_prefix(at + 1);
  }
  authority = authority.substr(0, authority.find(':'));
  site.host = Lower(authority);
  if (pattern && site.host.starts_with("*.")) {
    site.wildcard = true;
    site.host.erase(0, 2);
  }
  return site;
}

// A name the zone map can keep: ASCII labels of letters, digits, '-' and '_', none empty.
bool IsHostName(std::string_view host) {
  if (host.empty() || host.front() == '.' || host.back() == '.' ||
      host.find("..") != std::string_view::npos) {
    return false;
  }
  return std::all_of(host.begin(), host.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_' || c == '.';
  });
}

bool IsAddress(std::string_view host) {
  return !host.empty() && std::all_of(host.begin(), host.end(), [](char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0 || c == '.';
  });
}

std::vector<std::string_view> Labels(std::string_view host) {
  std::vector<std::string_view> labels;
  std::size_t start = 0;
  while (true) {
    const std::size_t dot = host.find('.', start);
    labels.push_back(host.substr(start, dot - start));
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return labels;
}

// The zone a key's values give the scheme: its own name first, then "*".
std::optional<std::uint32_t> SchemeZone(RegistryKey& key, const std::string& scheme) {
  std::uint32_t zone = 0;
  if (key.ReadDword(scheme, zone) == 0) return zone;
  if (key.ReadDword("*", zone) == 0) return zone;
  return std::nullopt;
}

bool EndsWithLabel(std::string_view host, std::string_view suffix) {
  return host == suffix || (host.size() > suffix.size() && host.ends_with(suffix) &&
                            host[host.size() - suffix.size() - 1] == '.');
}

// The zone the Domains key below `root` gives the site, the most specific entry winning.
std::optional<std::uint32_t> DomainZone(Registry& registry, RegistryRoot root, const Site& site) {
  const std::string domainsPath = std::string(kSettings) + "\\ZoneMap\\Domains";
  RegistryKey domains;
  if (registry.OpenKey(root, domainsPath, win::kKeyRead, domains) != 0) return std::nullopt;
  std::vector<std::string> names;
  domains.SubKeyNames(names);
  std::optional<std::uint32_t> best;
  std::size_t bestLength = 0;
  for (const std::string& name : names) {
    const std::string domain = Lower(name);
    if (!EndsWithLabel(site.host, domain)) continue;
    RegistryKey domainKey;
    if (registry.OpenKey(root, KeyPath({domainsPath, name}), win::kKeyRead, domainKey) != 0)
      continue;
    std::vector<std::string> subNames;
    domainKey.SubKeyNames(subNames);
    for (const std::string& subName : subNames) {
      std::string sub = Lower(subName);
      bool wildcard = false;
      if (sub.starts_with("*.")) {
        wildcard = true;
        sub.erase(0, 2);
      }
      std::string full = sub;
      full += '.';
      full += domain;
      const bool matches = wildcard ? EndsWithLabel(site.host, full) : site.host == full;
      if (!matches || full.size() < bestLength) continue;
      RegistryKey subKey;
      if (registry.OpenKey(root, KeyPath({domainsPath, name, subName}), win::kKeyRead, subKey) !=
          0) {
        continue;
      }
      if (auto zone = SchemeZone(subKey, site.scheme)) {
        best = zone;
        bestLength = full.size() + (wildcard ? 0 : 1);
      }
    }
    if (domain.size() >= bestLength) {
      if (auto zone = SchemeZone(domainKey, site.scheme)) {
        best = zone;
        bestLength = domain.size();
      }
    }
  }
  return best;
}

class EmulatedSecurityManager final : public SecurityManager {
 public:
  explicit EmulatedSecurityManager(Registry& registry) : registry_(registry) {}

  win::HResult MapUrlToZone(std::string_view url, std::uint32_t& zone,
                            std::uint32_t /*flags*/) override {
    zone = win::kUrlZoneInvalid;
    const std::optional<Site> site = ParseSite(url, false);
    if (!site) return win::kEInvalidArg;
    if (site->scheme == "file") {
      zone = win::kUrlZoneLocalMachine;
      return win::kSOk;
    }
    if (site->hasAuthority && !site->host.empty() && !IsAddress(site->host)) {
      for (RegistryRoot root : {RegistryRoot::kCurrentUser, RegistryRoot::kLocalMachine}) {
        if (auto mapped = DomainZone(registry_, root, *site)) {
          zone = *mapped;
          return win::kSOk;
        }
      }
    }
    std::uint32_t error = 0;
    RegistryKey defaults = OpenUserThenMachine(
        registry_, std::string(kSettings) + "\\ZoneMap\\ProtocolDefaults", error);
    std::uint32_t byScheme = 0;
    zone = (error == 0 && defaults.ReadDword(site->scheme, byScheme) == 0) ? byScheme
                                                                           : win::kUrlZoneInternet;
    return win::kSOk;
  }

  win::HResult SetZoneMapping(std::uint32_t zone, std::string_view pattern,
                              std::uint32_t flags) override {
    if (flags != win::kSzmCreate && flags != win::kSzmDelete) return win::kEInvalidArg;
    const std::optional<Site> site = ParseSite(pattern, true);
    if (!site || !IsHostName(site->host) || IsAddress(site->host)) {
      return win::kEInvalidArg;
    }
    if (flags == win::kSzmCreate && site->scheme != "https") {
      ZoneAttributes attributes;
      EmulatedZoneManager zones(registry_);
      if (zones.GetZoneAttributes(zone, attributes) == win::kSOk &&
          (attributes.flags & win::kZaFlagsRequireVerification) != 0) {
        return win::kEAccessDenied;
      }
    }
    // Domains\<last two labels>[\<the labels before them>, "*." when a wildcard].
    const std::vector<std::string_view> labels = Labels(site->host);
    std::string path = KeyPath({kSettings, R"(ZoneMap\Domains\)"});
    if (labels.size() <= 2) {
      path += site->host;
    } else {
      const std::size_t split =
          site->host.size() - labels[labels.size() - 2].size() - labels.back().size() - 1;
      path += site->host.substr(split) + "\\" + (site->wildcard ? "*." : "") +
              site->host.substr(0, split - 1);
    }
    if (flags == win::kSzmDelete) {
      RegistryKey key;
      std::uint32_t error =
          registry_.OpenKey(RegistryRoot::kCurrentUser, path, win::kKeyRead | win::kKeyWrite, key);
      if (error == 0) error = key.DeleteValue(site->scheme);
      return FromWin32(error);
    }
    RegistryKey key;
    std::uint32_t error =
        registry_.CreateKey(RegistryRoot::kCurrentUser, path, win::kKeyRead | win::kKeyWrite, key);
    if (error != 0) return FromWin32(error);
    std::uint32_t existing = 0;
    if (key.ReadDword(site->scheme, existing) == 0 && existing != zone) {
      return FromWin32(kErrorFileExists);  // mapped to another zone already
    }
    return FromWin32(key.SetDword(site->scheme, zone));
  }

 private:
  Registry& registry_;
};

}  // namespace

win::HResult EmulatedUrlZones::CreateZoneManager(std::unique_ptr<ZoneManager>& manager) {
  manager = std::make_unique<EmulatedZoneManager>(registry_);
  return win::kSOk;
}

win::HResult EmulatedUrlZones::CreateSecurityManager(std::unique_ptr<SecurityManager>& manager) {
  manager = std::make_unique<EmulatedSecurityManager>(registry_);
  return win::kSOk;
}

std::string_view TemplateLevelName(std::uint32_t level) {
  switch (level) {
    case win::kUrlTemplateLow:
      return "Low";
    case win::kUrlTemplateMediumLow:
      return "MedLow";
    case win::kUrlTemplateMedium:
      return "Medium";
    case win::kUrlTemplateMediumHigh:
      return "MedHigh";
    case win::kUrlTemplateHigh:
      return "High";
    default:
      return {};
  }
}

namespace {

// Per-action values of the five template levels, Low to High: 0 allow, 1 prompt, 3 disable
// (1A00 and 1C00 are their own kinds of setting).
struct Action {
  std::string_view name;
  std::array<std::uint32_t, 5> values;
};
constexpr std::array<Action, 36> kActions = {{
    {"1001", {0, 1, 1, 1, 3}},
    {"1004", {1, 3, 3, 3, 3}},
    {"1200", {0, 0, 0, 0, 3}},
    {"1201", {1, 3, 3, 3, 3}},
    {"1206", {0, 0, 3, 3, 3}},
    {"1208", {0, 0, 0, 3, 3}},
    {"1209", {0, 3, 3, 3, 3}},
    {"1400", {0, 0, 0, 0, 3}},
    {"1402", {0, 0, 0, 0, 3}},
    {"1405", {0, 0, 0, 0, 3}},
    {"1406", {0, 1, 3, 3, 3}},
    {"1407", {0, 0, 0, 1, 3}},
    {"1601", {0, 0, 0, 0, 1}},
    {"1604", {0, 0, 0, 0, 1}},
    {"1605", {0, 0, 0, 0, 0}},
    {"1606", {0, 0, 0, 0, 3}},
    {"1607", {0, 0, 3, 3, 3}},
    {"1608", {0, 0, 0, 0, 3}},
    {"1609", {1, 1, 1, 1, 1}},
    {"1800", {0, 1, 1, 3, 3}},
    {"1802", {0, 0, 0, 0, 1}},
    {"1803", {0, 0, 0, 0, 3}},
    {"1804", {0, 1, 1, 3, 3}},
    {"1809", {3, 3, 0, 0, 0}},
    {"1A00", {0, 0x20000, 0x20000, 0x20000, 0x10000}},
    {"1C00", {0x30000, 0x10000, 0x10000, 0x10000, 0}},
    {"2101", {0, 0, 3, 3, 3}},
    {"2102", {0, 0, 3, 3, 3}},
    {"2103", {0, 0, 0, 3, 3}},
    {"2104", {0, 0, 0, 3, 3}},
    {"2105", {0, 0, 0, 3, 3}},
    {"2200", {0, 0, 3, 3, 3}},
    {"2201", {0, 0, 3, 3, 3}},
    {"2300", {1, 1, 1, 1, 3}},
    {"2500", {3, 3, 3, 0, 0}},
    {"2600", {0, 0, 0, 0, 3}},
}};
constexpr std::array<std::uint32_t, 5> kLevels = {
    win::kUrlTemplateLow, win::kUrlTemplateMediumLow, win::kUrlTemplateMedium,
    win::kUrlTemplateMediumHigh, win::kUrlTemplateHigh};

std::string Dword(std::uint32_t value) {
  std::array<char, 16> text{};
  (void)std::snprintf(text.data(), text.size(), "dword:%08x", value);
  return text.data();
}

std::string ActionValues(std::size_t level) {
  std::string text;
  for (const Action& action : kActions) {
    text += "\"" + std::string(action.name) + "\"=" + Dword(action.values[level]) + "\n";
  }
  return text;
}

struct DefaultZone {
  std::uint32_t zone;
  std::string_view displayName;
  std::string_view description;
  std::string_view icon;
  std::uint32_t minLevel, recommended, current, flags;
  std::size_t actionsOf;  // the template whose values the zone holds
};
constexpr std::array<DefaultZone, 5> kZones = {{
    {0, "Computer", "Your computer", "explorer.exe#0100", 0, 0, 0, 0x21, 0},
    {1, "Local intranet",
     "This zone contains all Web sites that are on your organization's intranet.",
     "shell32.dll#0018", win::kUrlTemplateLow, win::kUrlTemplateMediumLow,
     win::kUrlTemplateMediumLow, 0xdb, 1},
    {2, "Trusted sites",
     "This zone contains Web sites that you trust not to damage your computer or data.",
     "inetcpl.cpl#00004480", win::kUrlTemplateLow, win::kUrlTemplateMedium, win::kUrlTemplateMedium,
     0x47, 2},
    {3, "Internet", "This zone contains all Web sites you haven't placed in other zones",
     "inetcpl.cpl#001313", win::kUrlTemplateMedium, win::kUrlTemplateMediumHigh,
     win::kUrlTemplateMediumHigh, 0x1, 3},
    {4, "Restricted sites",
     "This zone contains Web sites that could potentially damage your computer or data.",
     "inetcpl.cpl#00004481", win::kUrlTemplateHigh, win::kUrlTemplateHigh, win::kUrlTemplateHigh,
     0x3, 4},
}};

std::string ZonesAndMap(std::string_view root) {
  const std::string base = std::string("\n[") + std::string(root) + "\\" + std::string(kSettings);
  std::string text;
  text += base + "\\ZoneMap\\Domains]\n";
  text += base + "\\ZoneMap\\ProtocolDefaults]\n\"@ivt\"=" + Dword(1) + "\n\"file\"=" + Dword(3) +
          "\n\"ftp\"=" + Dword(3) + "\n\"http\"=" + Dword(3) + "\n\"https\"=" + Dword(3) +
          "\n\"shell\"=" + Dword(0) + "\n";
  for (const DefaultZone& zone : kZones) {
    text += base + "\\Zones\\" + std::to_string(zone.zone) + "]\n";
    for (const auto& [name, value] :
         {std::pair{"DisplayName", zone.displayName}, std::pair{"Description", zone.description},
          std::pair{"Icon", zone.icon}}) {
      text.append("\"").append(name).append("\"=\"").append(value).append("\"\n");
    }
    text += "\"MinLevel\"=" + Dword(zone.minLevel) + "\n";
    text += "\"RecommendedLevel\"=" + Dword(zone.recommended) + "\n";
    text += "\"CurrentLevel\"=" + Dword(zone.current) + "\n";
    text += "\"Flags\"=" + Dword(zone.flags) + "\n";
    text += ActionValues(zone.actionsOf);
  }
  return text;
}

}  // namespace

std::string InternetZonesTemplate(RegistryRoot root) {
  if (root == RegistryRoot::kCurrentUser) return ZonesAndMap("HKEY_CURRENT_USER");
  if (root != RegistryRoot::kLocalMachine) return {};
  std::string text;
  for (std::string_view software :
       {"HKEY_LOCAL_MACHINE", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node"}) {
    // Both views; the second names its keys below Wow6432Node.
    std::string part = ZonesAndMap("HKEY_LOCAL_MACHINE");
    std::string templates;
    for (std::size_t level = 0; level < kLevels.size(); ++level) {
      templates += "\n[HKEY_LOCAL_MACHINE\\" + std::string(kSettings) + "\\TemplatePolicies\\" +
                   std::string(TemplateLevelName(kLevels[level])) + "]\n" + ActionValues(level);
    }
    part += templates;
    if (software != "HKEY_LOCAL_MACHINE") {
      const std::string from = "[HKEY_LOCAL_MACHINE\\Software\\";
      const std::string to = R"([HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\)";
      for (std::size_t at = part.find(from); at != std::string::npos; at = part.find(from, at)) {
        part.replace(at, from.size(), to);
        at += to.size();
      }
    }
    text += part;
  }
  return text;
}

}  // namespace corvane::emulated
