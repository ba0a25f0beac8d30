#pragma once

// MD5 of a file's bytes, read through the platform's file service so that it sees the same
// files as the rest of the system (on the emulated PC, the machine's C: drive).

#include <memory>
#include <string>
#include <string_view>

namespace corvane {

class File;
class FileSystem;

// 32 lower-case hex characters, or "" when the file cannot be opened (missing, a folder,
// no access). A read error ends the input as end of file would. The path is UTF-8 and goes
// to the wide Windows calls as is, so names outside the ANSI code page work too.
std::string FileMd5Hex(FileSystem& files, std::string_view path);

// The same of an open file, read from its position to its end; "" when a read fails, so a
// file that could not be read whole never passes for one with a digest.
std::string FileMd5Hex(File& file);

}  // namespace corvane
