#pragma once

// How the URL zone conformance tests get their zones: natively an emulated PC of their own,
// under Wine the prefix's real urlmon and registry, whose zone 2 values and test domain keys
// are put back afterwards.

#include <memory>

#include "platform/registry.h"
#include "platform/url_zones.h"

namespace corvane {

class UrlZonesUnderTest {
 public:
  virtual ~UrlZonesUnderTest() = default;
  virtual UrlZones& zones() = 0;
  // The registry the zones are kept in.
  virtual Registry& registry() = 0;
  // Wine's urlmon, where SetZoneMapping and CopyTemplatePoliciesToZone answer E_NOTIMPL and
  // wildcard host keys below a domain map nothing.
  [[nodiscard]] virtual bool isWine() const = 0;
};

// The test's own domain below ZoneMap\Domains, removed again when the object goes.
inline constexpr const char* kZoneTestDomain = "corvane-zones.example";

std::unique_ptr<UrlZonesUnderTest> MakeUrlZonesUnderTest();

}  // namespace corvane
