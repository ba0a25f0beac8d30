#pragma once

// What the page shows as items 1 and 8: the Windows description and the browser version.

#include <string>

namespace corvane {

// The Windows text from the platform's version record, native processor architecture and,
// on version 6, product type, for example "Microsoft Windows 7 旗舰版 SP1 (build 7601) 64位":
// "Microsoft ", the version's name and edition, " " and the service pack (every
// "Service Pack " shortened to "SP"), " (build N)", and from version 6 on " 64位" (AMD64) or
// " 32位" (x86). "Error" when the version record is unavailable, "Unknown version of Windows"
// before NT 5 or off the NT platform.
std::string DescribeWindowsVersion();

// Internet Explorer's version text: the string value "Version" of
// HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer, read as SHRegGetUSValue reads it
// with the user's hive ignored and a 200-byte buffer; "0" when it cannot be read or is no
// string.
std::string ReadIeVersion();

}  // namespace corvane
