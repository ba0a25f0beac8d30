#pragma once

// The real Windows services as the platform of the process.

#include "platform/platform.h"
#include "platform/win32/win32_certificate_stores.h"
#include "platform/win32/win32_environment.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_instance_lock.h"
#include "platform/win32/win32_libraries.h"
#include "platform/win32/win32_network.h"
#include "platform/win32/win32_processes.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_resources.h"
#include "platform/win32/win32_system_info.h"
// URL security zones and the browser's caches.
#include "platform/win32/win32_browser_cache.h"
#include "platform/win32/win32_url_zones.h"
#include "platform/win32/win32_usb_devices.h"

namespace corvane::win32 {

class Win32Platform final : public Platform {
 public:
  Environment& environment() override { return environment_; }
  FileSystem& files() override { return files_; }
  Registry& registry() override { return registry_; }
  SystemInfo& systemInfo() override { return systemInfo_; }
  Resources& resources() override { return resources_; }
  Processes& processes() override { return processes_; }
  InstanceLock& instanceLock() override { return instanceLock_; }
  Network& network() override { return network_; }
  CertificateStores& certificateStores() override { return certificateStores_; }
  // URL security zones and the browser's caches.
  UrlZones& urlZones() override { return urlZones_; }
  BrowserCache& browserCache() override { return browserCache_; }

  Libraries& libraries() override { return libraries_; }
  UsbDevices& usbDevices() override { return usbDevices_; }

 private:
  Win32Environment environment_;
  Win32FileSystem files_;
  Win32Registry registry_;
  Win32SystemInfo systemInfo_;
  Win32Resources resources_;
  Win32Processes processes_;
  Win32InstanceLock instanceLock_;
  Win32Network network_;
  Win32CertificateStores certificateStores_;

  Win32Libraries libraries_;
  // URL security zones and the browser's caches.
  Win32UrlZones urlZones_;
  Win32BrowserCache browserCache_;
  Win32UsbDevices usbDevices_;
};

}  // namespace corvane::win32
