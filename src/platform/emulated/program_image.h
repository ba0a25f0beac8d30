#pragma once

// The emulated PC's installed program file: a small Windows image (PE32, one resource
// section) whose version resource carries a fixed file version, so that reading the running
// executable's version is the same reading as on Windows. It has no code; it is never run
// (the emulated PC starts the host program in its place, see EmulatedProcesses).

#include <cstdint>
#include <string>

namespace corvane::emulated {

// The image's bytes with FILEVERSION and PRODUCTVERSION set to the two halves given.
std::string MakeProgramImage(std::uint32_t versionMS, std::uint32_t versionLS);

}  // namespace corvane::emulated
