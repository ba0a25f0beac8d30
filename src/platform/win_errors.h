#pragma once

// Windows result codes the system reasons about, as plain constants, so that the logic
// reads like the Windows program it is without including <windows.h>. Named with a k
// prefix because the Windows headers define the originals as macros.

#include <cstdint>

namespace corvane::win {

inline constexpr std::uint32_t kErrorSuccess = 0;
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorNotEnoughMemory = 8;
inline constexpr std::uint32_t kErrorInvalidData = 13;
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::uint32_t kErrorFileExists = 80;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorBufferOverflow = 111;
inline constexpr std::uint32_t kErrorInsufficientBuffer = 122;
inline constexpr std::uint32_t kErrorInvalidName = 123;
inline constexpr std::uint32_t kErrorDirNotEmpty = 145;
inline constexpr std::uint32_t kErrorAlreadyExists = 183;
inline constexpr std::uint32_t kErrorFilenameExcedRange = 206;
inline constexpr std::uint32_t kErrorMoreData = 234;
inline constexpr std::uint32_t kErrorNoMoreItems = 259;
inline constexpr std::uint32_t kErrorBadExeFormat = 193;
inline constexpr std::uint32_t kErrorCancelled = 1223;
inline constexpr std::uint32_t kErrorResourceDataNotFound = 1812;
inline constexpr std::uint32_t kErrorResourceTypeNotFound = 1813;
inline constexpr std::uint32_t kErrorResourceNameNotFound = 1814;
inline constexpr std::uint32_t kErrorBadFormat = 11;  // ERROR_BAD_FORMAT

// CryptoAPI's decoding errors, as GetLastError gives them.
inline constexpr std::uint32_t kCryptEAsn1Eod = 0x80093102U;      // the data ends early
inline constexpr std::uint32_t kCryptEAsn1Corrupt = 0x80093103U;  // a malformed encoding
inline constexpr std::uint32_t kCryptEAsn1BadTag = 0x8009310BU;   // not the expected type

using HResult = std::int32_t;
inline constexpr HResult kSOk = 0;
inline constexpr HResult kSFalse = 1;
inline constexpr HResult kEPending = static_cast<HResult>(0x8000000AU);
inline constexpr HResult kEFail = static_cast<HResult>(0x80004005U);
inline constexpr HResult kEAbort = static_cast<HResult>(0x80004004U);

// HRESULT_FROM_WIN32.
constexpr HResult HResultFromWin32(std::uint32_t error) {
  return error == 0 ? kSOk : static_cast<HResult>((error & 0xFFFFU) | 0x80070000U);
}

}  // namespace corvane::win
