#pragma once

// What a registrable file (the stand-in for a COM server DLL or OCX) of the emulated PC
// registers, read from the file itself. Windows asks the DLL; here the file describes its
// classes in text:
//
//   corvane-registrable 1
//   # comments and empty lines are ignored
//   class {DFB415D5-E36A-4FED-89BB-EA6344254CBF}
//
// The first line must be exactly the header; every other line is empty, a comment, or
// "class " and a braced GUID (8-4-4-4-12 hexadecimal digits). Line ends may be \n or \r\n.
// Anything else, or no class at all, makes the file not registrable, as a DLL without
// DllRegisterServer is.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::emulated {

// The classes a registrable file names, in file order, or nothing when the file is not one.
std::optional<std::vector<std::string>> ParseRegistrableFile(std::string_view text);

}  // namespace corvane::emulated
