#pragma once

// The operating system as the system sees it: one interface per service, with Windows
// semantics, UTF-8 text and Windows paths. One process-wide instance: the real Windows
// calls on Windows, an emulated Windows PC kept in a folder on Linux.

#include <memory>

namespace corvane {

class Environment;
class FileSystem;
class Registry;
class SystemInfo;
class Resources;
class Processes;
class InstanceLock;
class Network;
class CertificateStores;
// Run-time libraries (USB key vendors).
class Libraries;
// URL security zones and the browser's caches.
class UrlZones;
class BrowserCache;
class UsbDevices;

class Platform {
 public:
  Platform() = default;
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;
  Platform(Platform&&) = delete;
  Platform& operator=(Platform&&) = delete;
  virtual ~Platform() = default;

  virtual Environment& environment() = 0;
  virtual FileSystem& files() = 0;
  virtual Registry& registry() = 0;
  virtual SystemInfo& systemInfo() = 0;
  virtual Resources& resources() = 0;
  virtual Processes& processes() = 0;
  virtual InstanceLock& instanceLock() = 0;
  virtual Network& network() = 0;
  virtual CertificateStores& certificateStores() = 0;

  // Run-time libraries loaded by full path (the USB key vendors' libraries).
  virtual Libraries& libraries() = 0;
  // URL security zones and the browser's caches.
  virtual UrlZones& urlZones() = 0;
  virtual BrowserCache& browserCache() = 0;
  // The attached USB devices.
  virtual UsbDevices& usbDevices() = 0;
};

// The process-wide platform. Created on first use with CreateDefaultPlatform() unless a
// ScopedPlatform is installed.
Platform& CurrentPlatform();

// The backend's platform for this process: Win32 on Windows, the default emulated machine
// on Linux. Defined by the backend.
std::unique_ptr<Platform> CreateDefaultPlatform();

// Installs a platform for the life of the object (a test's own emulated machine, or the
// machine chosen on the command line), restoring the previous one afterwards.
class ScopedPlatform {
 public:
  explicit ScopedPlatform(std::unique_ptr<Platform> platform);
  ScopedPlatform(const ScopedPlatform&) = delete;
  ScopedPlatform& operator=(const ScopedPlatform&) = delete;
  ScopedPlatform(ScopedPlatform&&) = delete;
  ScopedPlatform& operator=(ScopedPlatform&&) = delete;
  ~ScopedPlatform();

 private:
  std::unique_ptr<Platform> platform_;
  Platform* previous_;
};

}  // namespace corvane
