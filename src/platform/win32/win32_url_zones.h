#pragma once

// The URL security zones through urlmon's COM objects. Each manager initialises COM
// (apartment) on the calling thread for its life and releases its interface when it goes.

#include "platform/url_zones.h"

namespace corvane::win32 {

class Win32UrlZones final : public UrlZones {
 public:
  win::HResult CreateZoneManager(std::unique_ptr<ZoneManager>& manager) override;
  win::HResult CreateSecurityManager(std::unique_ptr<SecurityManager>& manager) override;
};

}  // namespace corvane::win32
