#pragma once

// Libraries loaded at run time by their full path, and their exports looked up by name, as
// LoadLibrary and GetProcAddress do. Libraries are never freed: once loaded, a library stays
// in the process until it ends, so an export's address stays valid.

#include <cstdint>
#include <string_view>

namespace corvane {

// A loaded library; null when loading failed.
struct LibraryHandle {
  void* value = nullptr;
  explicit operator bool() const { return value != nullptr; }
};

// An export's address as GetProcAddress returns it. Convert it to the export's own function
// type (with its calling convention) before calling it.
using LibraryExport = void (*)();

class Libraries {
 public:
  Libraries() = default;
  Libraries(const Libraries&) = delete;
  Libraries& operator=(const Libraries&) = delete;
  Libraries(Libraries&&) = delete;
  Libraries& operator=(Libraries&&) = delete;
  virtual ~Libraries() = default;

  // Loads the library at fullPath, a full Windows path ("C:\..."). It is never searched for:
  // a relative name fails with ERROR_INVALID_PARAMETER. Loading the same file again gives the
  // same library. Returns 0 and stores the library in *library, or returns the Windows error
  // (ERROR_MOD_NOT_FOUND for a missing file, ERROR_BAD_EXE_FORMAT for a file that is not a
  // library of this system) and stores null.
  virtual std::uint32_t load(std::string_view fullPath, LibraryHandle* library) = 0;

  // The address of the export called name, or null when the library has none (or library is
  // null).
  virtual LibraryExport lookup(LibraryHandle library, std::string_view name) = 0;

  // Calls call(context) on this thread and contains a crash inside it (an access violation,
  // an illegal instruction, a division by zero: what a foreign library's fault raises).
  // Returns 0 when call returned, otherwise the Windows exception code of the crash
  // (EXCEPTION_ACCESS_VIOLATION 0xC0000005, ...); the frames of call are then abandoned
  // without running destructors, so call must own nothing that needs one. A crash cannot
  // undo what the faulting code did to memory before it: the caller should use nothing the
  // library gave during that call and call the library no more.
  virtual std::uint32_t callContained(void (*call)(void* context), void* context) = 0;
};

// Exception codes that callContained returns.
inline constexpr std::uint32_t kExceptionAccessViolation = 0xC0000005U;
inline constexpr std::uint32_t kExceptionIllegalInstruction = 0xC000001DU;
inline constexpr std::uint32_t kExceptionIntDivideByZero = 0xC0000094U;
inline constexpr std::uint32_t kExceptionInPageError = 0xC0000006U;

// Errors of load() beyond the common ones of win_errors.h.
inline constexpr std::uint32_t kErrorModNotFound = 126;

}  // namespace corvane
