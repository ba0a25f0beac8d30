#pragma once

// corvane-machine's commands on the hives as a whole, as regedit and reg query see them
// (the native view: Wow6432Node is a key like any other).

#include <string>
#include <vector>

#include "platform/emulated/emulated_platform.h"

namespace corvane::emulated {

// import-reg FILE...: merges regedit exports into the hives. All files are read before
// anything changes; a file that cannot be read or parsed, or an operation the machine
// cannot hold, is reported as FILE:LINE: message and leaves the hives as they were.
// Returns the exit status: 0 done, 1 the hives could not be saved, 2 bad input.
int ImportRegFiles(EmulatedPlatform& machine, const std::vector<std::string>& files);

// reg-list KEY: prints KEY and every key below it in the layout of `reg query KEY /s`
// (key lines, then "    NAME    TYPE    DATA" lines, a blank line after each key). Returns
// the exit status: 0 done, 1 no such key, 2 bad key name.
int ListRegistryTree(EmulatedPlatform& machine, const std::string& key);

}  // namespace corvane::emulated
