#include "platform/win32/win32_environment.h"

#include "platform/win32/win32_util.h"
#include "platform/win_errors.h"

namespace corvane::win32 {
namespace {

// For calls that return the length needed (with the terminating zero) when the buffer is
// too small, and the length written (without it) when it fits.
template <typename Call>
std::wstring GrowingCall(Call call) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    const DWORD length = call(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    buffer.assign(length, L'\0');
  }
  return {};
}

}  // namespace

std::optional<std::string> Win32Environment::variable(std::string_view name) const {
  const std::wstring wideName = Wide(name);
  std::wstring buffer(256, L'\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    ::SetLastError(ERROR_SUCCESS);
    const DWORD length = ::GetEnvironmentVariableW(wideName.c_str(), buffer.data(),
                                                   static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();  // defined and empty
    }
    if (length < buffer.size()) {
      buffer.resize(length);
      return Narrow(buffer);
    }
    buffer.assign(length, L'\0');
  }
  return std::nullopt;
}

std::string Win32Environment::expand(std::string_view text) const {
  if (text.empty()) return {};
  const std::wstring source = Wide(text);
  // ExpandEnvironmentStringsW returns the size needed including the terminating zero.
  std::wstring buffer(source.size() + MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    const DWORD needed = ::ExpandEnvironmentStringsW(source.c_str(), buffer.data(),
                                                     static_cast<DWORD>(buffer.size()));
    if (needed == 0) return std::string(text);
    if (needed <= buffer.size()) {
      buffer.resize(needed - 1);
      return Narrow(buffer);
    }
    buffer.assign(needed, L'\0');
  }
  return std::string(text);
}

std::string Win32Environment::tempFolder() const {
  return Narrow(
      GrowingCall([](wchar_t* buffer, DWORD size) { return ::GetTempPathW(size, buffer); }));
}

std::string Win32Environment::modulePath() const {
  // GetModuleFileNameW cuts the path to fit and returns the buffer size when it did.
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) {
      buffer.resize(length);
      return Narrow(buffer);
    }
    if (buffer.size() >= 32768) return {};
    buffer.assign(buffer.size() * 2, L'\0');
  }
}

std::string Win32Environment::currentDirectory() const {
  return Narrow(GrowingCall(
      [](wchar_t* buffer, DWORD size) { return ::GetCurrentDirectoryW(size, buffer); }));
}

std::uint32_t Win32Environment::setCurrentDirectory(std::string_view path) {
  if (::SetCurrentDirectoryW(Wide(path).c_str()) == FALSE) return LastError();
  return win::kErrorSuccess;
}

}  // namespace corvane::win32
