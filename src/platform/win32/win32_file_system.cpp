#include "platform/win32/win32_file_system.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

#include "platform/win32/win32_util.h"
#include "platform/win_errors.h"

namespace corvane::win32 {
namespace {

constexpr std::size_t kMaxDirectoryPath = MAX_PATH - 12;
constexpr std::size_t kMaxComponent = 255;

// The wide form of path, or the error a plain Win32 call gives for it on Windows XP to 8.
std::uint32_t CheckedPath(std::string_view path, bool folder, std::wstring& wide) {
  if (path.empty()) return win::kErrorPathNotFound;
  wide = Wide(path);
  const DWORD needed = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return LastError();
  std::wstring full(needed, L'\0');
  const DWORD length = ::GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return win::kErrorPathNotFound;
  full.resize(length);
  if (folder && full.size() >= kMaxDirectoryPath) return win::kErrorFilenameExcedRange;
  if (full.size() >= MAX_PATH) return win::kErrorPathNotFound;
  std::size_t component = 0;
  for (const wchar_t c : full) {
    component = c == L'\\' || c == L'/' ? 0 : component + 1;
    if (component > kMaxComponent) return win::kErrorFilenameExcedRange;
  }
  return win::kErrorSuccess;
}

class Win32File final : public File {
 public:
  explicit Win32File(UniqueHandle handle) : handle_(std::move(handle)) {}

  std::uint32_t read(std::span<std::byte> buffer, std::size_t& bytesRead) override {
    DWORD got = 0;
    const auto want = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), 1U << 30U));
    if (::ReadFile(handle_.get(), buffer.data(), want, &got, nullptr) == FALSE) return LastError();
    bytesRead = got;
    return win::kErrorSuccess;
  }

  std::uint32_t write(std::span<const std::byte> data) override {
    while (!data.empty()) {
      DWORD put = 0;
      const auto chunk = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1U << 30U));
      if (::WriteFile(handle_.get(), data.data(), chunk, &put, nullptr) == FALSE) {
        return LastError();
      }
      if (put == 0) return win::kErrorDiskFull;
      data = data.subspan(put);
    }
    return win::kErrorSuccess;
  }

  std::uint32_t seek(std::uint64_t offset) override {
    LARGE_INTEGER distance{};
    distance.QuadPart = static_cast<LONGLONG>(offset);
    if (::SetFilePointerEx(handle_.get(), distance, nullptr, FILE_BEGIN) == FALSE) {
      return LastError();
    }
    return win::kErrorSuccess;
  }

  std::uint32_t size(std::uint64_t& bytes) override {
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(handle_.get(), &size) == FALSE) return LastError();
    bytes = static_cast<std::uint64_t>(size.QuadPart);
    return win::kErrorSuccess;
  }

 private:
  UniqueHandle handle_;
};

DWORD Disposition(FileCreation creation) {
  switch (creation) {
    case FileCreation::kCreateNew:
      return CREATE_NEW;
    case FileCreation::kCreateAlways:
      return CREATE_ALWAYS;
    case FileCreation::kOpenExisting:
      return OPEN_EXISTING;
    case FileCreation::kOpenAlways:
      return OPEN_ALWAYS;
    case FileCreation::kTruncateExisting:
      return TRUNCATE_EXISTING;
  }
  return OPEN_EXISTING;
}

}  // namespace

bool Win32FileSystem::exists(std::string_view path) {
  std::wstring wide;
  return CheckedPath(path, false, wide) == win::kErrorSuccess &&
         ::GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::uint32_t Win32FileSystem::open(std::string_view path, FileAccess access, FileCreation creation,
                                    std::uint32_t attributes, std::unique_ptr<File>& file) {
  std::wstring wide;
  if (const std::uint32_t error = CheckedPath(path, false, wide)) return error;
  DWORD desired = 0;
  if (access != FileAccess::kWrite) desired |= GENERIC_READ;
  if (access != FileAccess::kRead) desired |= GENERIC_WRITE;
  // Others may read and write meanwhile, as with the C runtime's fopen.
  UniqueHandle handle(::CreateFileW(wide.c_str(), desired, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, Disposition(creation), attributes, nullptr));
  if (!handle.valid()) return LastError();
  file = std::make_unique<Win32File>(std::move(handle));
  return win::kErrorSuccess;
}

std::uint32_t Win32FileSystem::pin(std::string_view path, std::unique_ptr<File>& pinned) {
  std::wstring wide;
  if (const std::uint32_t error = CheckedPath(path, false, wide)) return error;
  // Read access and read sharing only: writers, and deleting or renaming (which need delete
  // sharing), are refused while the handle lives; starting the program and copying it read.
  UniqueHandle handle(::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle.valid()) return LastError();
  pinned = std::make_unique<Win32File>(std::move(handle));
  return win::kErrorSuccess;
}

std::uint32_t Win32FileSystem::attributes(std::string_view path, std::uint32_t& attributes) {
  std::wstring wide;
  if (const std::uint32_t error = CheckedPath(path, false, wide)) return error;
  const DWORD value = ::GetFileAttributesW(wide.c_str());
  if (value == INVALID_FILE_ATTRIBUTES) return LastError();
  attributes = value;
  return win::kErrorSuccess;
}

std::uint32_t Win32FileSystem::setAttributes(std::string_view path, std::uint32_t attributes) {
  std::wstring wide;
  if (const std::uint32_t error = CheckedPath(path, false, wide)) return error;
  if (::SetFileAttributesW(wide.c_str(), attributes) == FALSE) return LastError();
  return win::kErrorSuccess;
}

std::uint32_t Win32FileSystem::deleteFile(std::string_view path) {
  std::wstring wide;
  if (const std::uint32_t error = CheckedPath(path, false, wide)) return error;
  if (::DeleteFileW(wide.c_str()) == FALSE) return LastError();
  return win::kErrorSuccess;
}

std::uint32_t Win32FileSystem::move(std::string_view from, std::string_view to,
                                    std::uint32_t flags) {
  std::wstring wideFrom;
  std::wstring wideTo;
  if (const std::uint32_t error = CheckedPath(from, false, wideFrom)) return error;
  const bool deleteAtReboot = to.empty() && (flags & win::kMoveFileDelayUntilReboot) != 0;
  if (!deleteAtReboot) {
    if (const std::uint32_t error = CheckedPath(to, false, wideTo)) return error;
  }
  if (::MoveFileExW(wideFrom.c_str(), deleteAtReboot ? nullptr : wideTo.c_str(), flags) == FALSE) {
    return LastError();
  }
  return win::kErrorSuccess;
}

std::uint32_t Win32FileSystem::copy(std::string_view from, std::string_view to, bool failIfExists) {
  std::wstring wideFrom;
  std::wstring wideTo;
  if (const std::uint32_t error = CheckedPath(from, false, wideFrom)) return error;
  if (const std::uint32_t error = CheckedPath(to, false, wideTo)) return error;
  if (::CopyFileW(wideFrom.c_str(), wideTo.c_str(), failIfExists ? TRUE : FALSE) == FALSE) {
    return LastError();
  }
  return win::kErrorSuccess;
}

std::uint32_t Win32FileSystem::createDirectory(std::string_view path) {
  std::wstring wide;
  if (const std::uint32_t error = CheckedPath(path, true, wide)) return error;
  if (::CreateDirectoryW(wide.c_str(), nullptr) == FALSE) return LastError();
  return win::kErrorSuccess;
}

std::uint32_t Win32FileSystem::listFolder(std::string_view folder,
                                          std::vector<FolderEntry>& entries) {
  std::wstring wide;
  if (const std::uint32_t error = CheckedPath(folder, false, wide)) return error;
  if (wide.back() != L'\\' && wide.back() != L'/') wide += L'\\';
  wide += L'*';
  WIN32_FIND_DATAW data{};
  // FindClose, not CloseHandle, ends a search.
  const UniqueAny<HANDLE, &::FindClose, static_cast<std::uintptr_t>(-1)> find(
      ::FindFirstFileW(wide.c_str(), &data));
  std::vector<FolderEntry> found;
  if (!find.valid()) {
    const std::uint32_t error = LastError();
    // Nothing matched: a folder without even "." and "..", such as a drive's root.
    if (error != ERROR_FILE_NOT_FOUND) return error;
  } else {
    do {
      const std::wstring_view name(data.cFileName);
      if (name == L"." || name == L"..") continue;
      found.push_back({Narrow(name), data.dwFileAttributes});
    } while (::FindNextFileW(find.get(), &data) != FALSE);
    if (const std::uint32_t error = LastError(); error != ERROR_NO_MORE_FILES) return error;
  }
  entries = std::move(found);
  return win::kErrorSuccess;
}

std::uint32_t Win32FileSystem::fixedFileVersion(std::string_view path, FixedFileVersion& version) {
  std::wstring wide;
  if (const std::uint32_t error = CheckedPath(path, false, wide)) return error;
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(wide.c_str(), &ignored);
  if (size == 0) return LastError();
  std::vector<std::byte> block(size);
  if (::GetFileVersionInfoW(wide.c_str(), 0, size, block.data()) == FALSE) return LastError();
  void* value = nullptr;
  UINT length = 0;
  std::array<wchar_t, 2> root{L'\\', L'\0'};
  if (::VerQueryValueW(block.data(), root.data(), &value, &length) == FALSE || value == nullptr ||
      length < sizeof(VS_FIXEDFILEINFO)) {
    return win::kErrorResourceDataNotFound;
  }
  const auto* info = static_cast<const VS_FIXEDFILEINFO*>(value);
  if (info->dwSignature != 0xFEEF04BD) return win::kErrorResourceDataNotFound;
  version =
      FixedFileVersion{info->dwSignature,     info->dwStrucVersion,     info->dwFileVersionMS,
                       info->dwFileVersionLS, info->dwProductVersionMS, info->dwProductVersionLS,
                       info->dwFileFlagsMask, info->dwFileFlags,        info->dwFileOS,
                       info->dwFileType,      info->dwFileSubtype,      info->dwFileDateMS,
                       info->dwFileDateLS};
  return win::kErrorSuccess;
}

}  // namespace corvane::win32
