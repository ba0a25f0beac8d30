// The hives of a new emulated PC: Windows 7 Ultimate SP1 64-bit with Internet Explorer 8,
// none of the bank's components. Only what the system reads is here; each key that WOW64
// redirects appears in both views, as on a real 64-bit Windows.

#include "platform/emulated/emulated_registry.h"
#include "platform/emulated/emulated_url_zones.h"

namespace corvane::emulated {
namespace {

constexpr std::string_view kLocalMachine = R"reg(Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer]
"Version"="8.0.7601.17514"
"Build"="87601"
"W2kVersion"="8.0.7601.17514"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion]
"ProgramFilesDir"="C:\\Program Files"
"CommonFilesDir"="C:\\Program Files\\Common Files"
"ProgramFilesDir (x86)"="C:\\Program Files (x86)"
"ProgramW6432Dir"="C:\\Program Files"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Policies\System]
"EnableLUA"=dword:00000001

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion]
"ProductName"="Windows 7 Ultimate"
"EditionID"="Ultimate"
"CurrentVersion"="6.1"
"CurrentBuild"="7601"
"CurrentBuildNumber"="7601"
"CSDVersion"="Service Pack 1"
"InstallationType"="Client"
"SystemRoot"="C:\\Windows"

[HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\Microsoft\Internet Explorer]
"Version"="8.0.7601.17514"
"Build"="87601"
"W2kVersion"="8.0.7601.17514"

[HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\Microsoft\Windows\CurrentVersion]
"ProgramFilesDir"="C:\\Program Files (x86)"
"CommonFilesDir"="C:\\Program Files (x86)\\Common Files"

[HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\Microsoft\Windows NT\CurrentVersion]
"ProductName"="Windows 7 Ultimate"
"EditionID"="Ultimate"
"CurrentVersion"="6.1"
"CurrentBuild"="7601"
"CurrentBuildNumber"="7601"
"CSDVersion"="Service Pack 1"
"SystemRoot"="C:\\Windows"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\SecurityProviders\SCHANNEL]
"EventLogging"=dword:00000001

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\SecurityProviders\SCHANNEL\Protocols\SSL 2.0\Client]
"DisabledByDefault"=dword:00000001
)reg";

constexpr std::string_view kCurrentUser = R"reg(Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\BrowserEmulation]

[HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\Main]
"Start Page"="http://go.microsoft.com/fwlink/?LinkId=69157"

[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings]
"SecureProtocols"=dword:00000a80
"WarnonZoneCrossing"=dword:00000000

[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Policies\Explorer]
"NoDriveTypeAutoRun"=dword:00000091

[HKEY_CURRENT_USER\Software\Classes]
)reg";

constexpr std::string_view kClassesRoot = R"reg(Windows Registry Editor Version 5.00

[HKEY_CLASSES_ROOT\CLSID]

[HKEY_CLASSES_ROOT\Wow6432Node\CLSID]

[HKEY_CLASSES_ROOT\htmlfile\shell\open\command]
@="\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" %1"
)reg";

}  // namespace

std::string RegistryTemplate(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kLocalMachine:
      return std::string(kLocalMachine) + InternetZonesTemplate(root);
    case RegistryRoot::kCurrentUser:
      return std::string(kCurrentUser) + InternetZonesTemplate(root);
    case RegistryRoot::kClassesRoot:
      return std::string(kClassesRoot);
  }
  return {};
}

}  // namespace corvane::emulated
