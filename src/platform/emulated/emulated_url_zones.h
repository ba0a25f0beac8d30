#pragma once

// The URL security zones of the emulated PC, answered from its registry in Internet
// Explorer's layout (platform/url_zones.h). Site patterns and URLs are read as urlmon reads
// them: "scheme://host[:port][/path]", host names without regard to case; a site maps
// through ZoneMap\Domains\<last two labels>[\<the labels before them>], a key of the
// domain alone also mapping every name below it; "*.name" patterns map the name and every
// name below it. Addresses (ZoneMap\Ranges) are not mapped: an address pattern is refused
// with E_INVALIDARG and an address URL falls to the scheme's default zone.

#include <string>

#include "platform/registry.h"
#include "platform/url_zones.h"

namespace corvane::emulated {

class EmulatedUrlZones final : public UrlZones {
 public:
  // `registry` must outlive this object and every manager it creates.
  explicit EmulatedUrlZones(Registry& registry) : registry_(registry) {}

  win::HResult CreateZoneManager(std::unique_ptr<ZoneManager>& manager) override;
  win::HResult CreateSecurityManager(std::unique_ptr<SecurityManager>& manager) override;

 private:
  Registry& registry_;
};

// The registry text of the zones, template policies and zone map of a new machine (Windows 7
// with Internet Explorer 8: Internet at Medium-high, Trusted sites at Medium, no sites
// mapped), for the hive of `root`; HKLM's keys appear in both registry views.
std::string InternetZonesTemplate(RegistryRoot root);

// The template policy key's name of a template level ("Low", "MedHigh"); empty for none.
std::string_view TemplateLevelName(std::uint32_t level);

}  // namespace corvane::emulated
