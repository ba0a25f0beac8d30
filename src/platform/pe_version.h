#pragma once

// Reads the fixed version information (VS_FIXEDFILEINFO) from the version resource of a
// Windows program or library image, as GetFileVersionInfo and VerQueryValue("\") do. The
// input is untrusted bytes: every offset and size is checked against the image, and the
// resource tree is walked a fixed three levels, so malformed images fail cleanly.

#include <cstdint>
#include <span>

#include "platform/file_system.h"

namespace corvane {

// Returns 0 and fills version, or ERROR_BAD_FORMAT when the bytes are not a PE image,
// ERROR_RESOURCE_TYPE_NOT_FOUND when the image has no version resource and
// ERROR_RESOURCE_DATA_NOT_FOUND when the resource is damaged or lacks the fixed part.
std::uint32_t ReadPeFixedVersion(std::span<const std::uint8_t> data, FixedFileVersion& version);

}  // namespace corvane
