#pragma once

// Libraries loaded at run time by their full path, and their exports looked up by name, as
// LoadLibrary and GetProcAddress do. Libraries are never freed: once loaded, a library stays
// in the process until it ends, so an export's address stays valid.
//
// Decisions:
//   - Where the libraries beside the program can be written by programs that run confined
//     (the emulated PC: installers write its program folder), no such library may run in
//     this unconfined process. There the reading of a key library runs in a helper program
//     of its own, confined like the installers and without network: readInHelper() starts
//     it and hands back what it printed, bounded in size and time; the caller checks every
//     field against its own limits. The interface stays the one of LoadLibrary (load,
//     lookup, callContained) because the helper runs the very same reading code in-process.
//   - Windows keeps the vendors' DLLs in this process: they are the bank's own code
//     beside the executable, and there readInHelper() says so by answering nothing.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
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

  // What a helper program printed after reading a key library on the caller's behalf.
  struct HelperRead {
    std::uint32_t error = 0;  // 0: it ended in time; else why its output is not to be used
    std::string output;       // at most kMostHelperOutput bytes
  };
  // Nothing when libraries are read in this process (then load() and lookup() give the
  // library itself); otherwise runs the key-reading helper for `adapterClass`
  // ("CFeitianUSBKey"), confined, and returns its output. A helper that does not end within
  // the time limit is killed (WAIT_TIMEOUT); one that prints more than kMostHelperOutput is
  // killed (ERROR_INVALID_DATA); one that cannot be started fails with its error.
  virtual std::optional<HelperRead> readInHelper(std::string_view adapterClass) {
    (void)adapterClass;
    return std::nullopt;
  }
};

inline constexpr std::size_t kMostHelperOutput = std::size_t{256} * 1024;
inline constexpr std::uint32_t kErrorWaitTimeout = 258;

// Exception codes that callContained returns.
inline constexpr std::uint32_t kExceptionAccessViolation = 0xC0000005U;
inline constexpr std::uint32_t kExceptionIllegalInstruction = 0xC000001DU;
inline constexpr std::uint32_t kExceptionIntDivideByZero = 0xC0000094U;
inline constexpr std::uint32_t kExceptionInPageError = 0xC0000006U;

// Errors of load() beyond the common ones of win_errors.h.
inline constexpr std::uint32_t kErrorModNotFound = 126;

}  // namespace corvane
