#pragma once

// A platform that hands every service to another one. A test or fuzz platform derives from it
// and overrides only the services it replaces, so a new service is one line here rather than
// one in every such platform.

#include "platform/platform.h"

namespace corvane {

class ForwardingPlatform : public Platform {
 public:
  Environment& environment() override { return inner().environment(); }
  FileSystem& files() override { return inner().files(); }
  Registry& registry() override { return inner().registry(); }
  SystemInfo& systemInfo() override { return inner().systemInfo(); }
  Resources& resources() override { return inner().resources(); }
  Processes& processes() override { return inner().processes(); }
  InstanceLock& instanceLock() override { return inner().instanceLock(); }
  Network& network() override { return inner().network(); }
  CertificateStores& certificateStores() override { return inner().certificateStores(); }
  Libraries& libraries() override { return inner().libraries(); }
  UrlZones& urlZones() override { return inner().urlZones(); }
  BrowserCache& browserCache() override { return inner().browserCache(); }
  UsbDevices& usbDevices() override { return inner().usbDevices(); }

 protected:
  // The platform whose services are not replaced.
  virtual Platform& inner() = 0;
};

}  // namespace corvane
