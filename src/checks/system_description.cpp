#include "checks/system_description.h"

namespace corvane {

// Stand-ins until the system information is read.
std::string DescribeWindowsVersion() { return "Windows"; }

std::string ReadIeVersion() { return "0"; }

}  // namespace corvane
