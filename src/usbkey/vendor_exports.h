#pragma once

// The exports of the USB key vendors' libraries as function types. The libraries use the
// Windows API calling convention (the callee removes its arguments); in the 32-bit Windows
// build a pointer declared with the caller-cleans convention would corrupt the stack at every
// call, so each type below is checked at compile time. Elsewhere there is one convention and
// the check passes by itself.
//
// Results: BOOL is a 32-bit value, bool an 8-bit one; both are tested for non-zero. The
// 8-bit result is read as a byte, never as a C++ bool, whose other bit patterns a library may
// well return.

#include <cstdint>
#include <type_traits>

#if defined(_WIN32)
#define CORVANE_VENDOR_CALL __stdcall
#else
#define CORVANE_VENDOR_CALL
#endif

namespace corvane::vendor {

using Bool32 = std::int32_t;  // BOOL
using Bool8 = std::uint8_t;   // bool

// The exports, by the width of their result.
template <typename R>
struct Exports {
  using Load = R(CORVANE_VENDOR_CALL*)();
  using CheckKeyEnv = R(CORVANE_VENDOR_CALL*)();
  using GetSoftwareVersion = R(CORVANE_VENDOR_CALL*)(char* buffer256);
  using GetKeyCount = R(CORVANE_VENDOR_CALL*)(std::int32_t* count);
  using GetKeySN = R(CORVANE_VENDOR_CALL*)(char* buffer2048);
  using GetCertCNList = R(CORVANE_VENDOR_CALL*)(char* serial, char* buffer2048);
  using GetCertCNCount = R(CORVANE_VENDOR_CALL*)(char* serial, std::int32_t* count);
  using GetWebURL = R(CORVANE_VENDOR_CALL*)(char* serial, char* buffer2048);
  using GetPINRetry = R(CORVANE_VENDOR_CALL*)(char* serial, std::int32_t* count);
  using GetKeyFile = R(CORVANE_VENDOR_CALL*)(char* serial, std::int32_t* value);
  using GetKeyDefaultPIN = R(CORVANE_VENDOR_CALL*)(char* serial, std::int32_t* value);
  using ChangePin = R(CORVANE_VENDOR_CALL*)(char* serial);
};

// True for a pointer to a function with the Windows API calling convention. In the 32-bit
// Windows build only such a pointer matches the specialisation; a plain (caller-cleans)
// pointer does not.
template <typename F>
struct IsVendorCall : std::false_type {};
template <typename R, typename... A>
struct IsVendorCall<R(CORVANE_VENDOR_CALL*)(A...)> : std::true_type {};

template <typename R>
constexpr bool AllVendorCalls() {
  using E = Exports<R>;
  return IsVendorCall<typename E::Load>::value && IsVendorCall<typename E::CheckKeyEnv>::value &&
         IsVendorCall<typename E::GetSoftwareVersion>::value &&
         IsVendorCall<typename E::GetKeyCount>::value &&
         IsVendorCall<typename E::GetKeySN>::value &&
         IsVendorCall<typename E::GetCertCNList>::value &&
         IsVendorCall<typename E::GetCertCNCount>::value &&
         IsVendorCall<typename E::GetWebURL>::value &&
         IsVendorCall<typename E::GetPINRetry>::value &&
         IsVendorCall<typename E::GetKeyFile>::value &&
         IsVendorCall<typename E::GetKeyDefaultPIN>::value &&
         IsVendorCall<typename E::ChangePin>::value;
}
static_assert(AllVendorCalls<Bool32>() && AllVendorCalls<Bool8>(),
              "every vendor export must use the Windows API calling convention");

}  // namespace corvane::vendor
