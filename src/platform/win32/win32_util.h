#pragma once

// What the Win32 backends share: <windows.h> with the lean settings, an owning HANDLE, and
// conversion between the system's UTF-8 and the wide calls' UTF-16.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane::win32 {

// Closes its handle when destroyed. Both null and INVALID_HANDLE_VALUE mean "none", as the
// Win32 calls use one or the other.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueHandle() { reset(); }

  [[nodiscard]] bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  [[nodiscard]] HANDLE get() const { return handle_; }
  HANDLE release() {
    HANDLE handle = handle_;
    handle_ = nullptr;
    return handle;
  }
  void reset(HANDLE handle = nullptr) {
    if (valid()) ::CloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_ = nullptr;
};

std::wstring Wide(std::string_view text);
std::string Narrow(std::wstring_view text);

// GetLastError as the platform's error type.
inline std::uint32_t LastError() { return static_cast<std::uint32_t>(::GetLastError()); }

}  // namespace corvane::win32
