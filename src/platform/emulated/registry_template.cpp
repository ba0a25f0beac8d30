// The hives of a new emulated PC: Windows 7 Ultimate SP1 64-bit with Internet Explorer 8,
// none of the bank's components. Only what the system reads is here; each key that WOW64
// redirects appears in both views, as on a real 64-bit Windows, and a 32-bit machine gets
// the native keys alone (machine presets set the values of other systems).

#include <algorithm>

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

// The template as a 32-bit Windows has it: the keys below Wow6432Node and the values
// that name the 64-bit or 32-bit folders of a 64-bit Windows go.
std::string WithoutWow64(std::string_view text) {
  std::string kept;
  bool skipping = false;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (line.starts_with('[')) skipping = line.find("\\Wow6432Node") != std::string_view::npos;
    if (skipping || line.starts_with("\"ProgramFilesDir (x86)\"") ||
        line.starts_with("\"ProgramW6432Dir\"")) {
      continue;
    }
    kept.append(line).push_back('\n');
  }
  return kept;
}

}  // namespace

std::string RegistryTemplate(RegistryRoot root, RegistryView view) {
  std::string text;
  switch (root) {
    case RegistryRoot::kLocalMachine:
      text = std::string(kLocalMachine) + InternetZonesTemplate(root);
      break;
    case RegistryRoot::kCurrentUser:
      text = std::string(kCurrentUser) + InternetZonesTemplate(root);
      break;
    case RegistryRoot::kClassesRoot:
      text = std::string(kClassesRoot);
      break;
  }
  return view == RegistryView::kNative ? WithoutWow64(text) : text;
}

}  // namespace corvane::emulated
