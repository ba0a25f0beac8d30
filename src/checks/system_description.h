#pragma once

// What the page shows as items 1 and 8: the Windows description and the browser version.

#include <string>

namespace corvane {

// The Windows text, such as "Windows 7 ... Service Pack 1".
std::string DescribeWindowsVersion();
// Internet Explorer's version text, "0" when it cannot be read.
std::string ReadIeVersion();

}  // namespace corvane
