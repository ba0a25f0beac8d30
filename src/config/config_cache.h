#pragma once

// The local copy of the bank's configuration: the last document downloaded from the bank,
// kept scrambled in the hidden file "item.xml" of the current directory for starts without
// the network. The bytes are kept exactly, whatever they contain (CR LF, zero bytes) and
// however long the document is.

#include <span>
#include <string>
#include <string_view>

namespace corvane {

// Relative on purpose: the copy belongs to the process's current directory, not to the
// folder of the executable.
inline constexpr std::string_view kConfigCachePath = "./item.xml";

// XORs every byte with the repeating 5-byte key; applying it twice restores the bytes.
void ScrambleText(std::span<char> bytes);

// The document from the bytes of a local copy.
std::string DecodeConfigCache(std::string_view fileBytes);

// Writes text, scrambled, as the local copy: the new copy replaces the old one whole or not
// at all. Either way the copy is left hidden (and only hidden). Returns the Windows error.
std::uint32_t SaveConfigCache(std::string_view text);

// The document of the local copy, empty when there is none or it cannot be read. Leaves the
// copy hidden (and only hidden).
std::string LoadConfigCache();

}  // namespace corvane
