#pragma once

// The one way to Windows: every file that calls Win32 includes this header and no Windows SDK
// header of its own (scripts/check_module_edges.py enforces it). It gives <windows.h> with
// the lean settings and the other SDK headers the backends use, one owning template for every
// kind of handle, and the conversions between the system's UTF-8 and the wide calls' UTF-16.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// windows.h first: the others build on it. Lean, it leaves out the old winsock.h, which
// would clash with winsock2.h.
// clang-format off
#include <windows.h>
#include <winsock2.h>
#include <wininet.h>
#include <wincrypt.h>
#include <unknwn.h>
#include <shlwapi.h>
#include <objbase.h>
#include <urlmon.h>
// The USB stack's device queries and SetupAPI's device lists.
#include <winioctl.h>
#include <setupapi.h>
#include <usbioctl.h>
// The window host: common controls, OLE and automation for the browser control.
#include <commctrl.h>
#include <ole2.h>
#include <oleauto.h>
#include <exdisp.h>
#include <exdispid.h>
#include <mshtmhst.h>
// clang-format on

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace corvane::win32 {

// Owns one handle of type `T` (a pointer type) and gives it to `Close` when destroyed or
// reset. `Invalid` and `AlsoInvalid` are the bit patterns that mean "none" (most kinds use
// null only; kernel handles also INVALID_HANDLE_VALUE); "none" is never closed. Move-only.
template <typename T, auto Close, std::uintptr_t Invalid = 0, std::uintptr_t AlsoInvalid = Invalid>
class UniqueAny {
 public:
  UniqueAny() = default;
  explicit UniqueAny(T handle) : handle_(handle) {}
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;
  UniqueAny(UniqueAny&& other) noexcept : handle_(other.release()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueAny() { reset(); }

  [[nodiscard]] bool valid() const { return !IsNone(handle_); }
  [[nodiscard]] T get() const { return handle_; }
  // Gives the handle up without closing it.
  T release() { return std::exchange(handle_, None()); }
  void reset(T handle = None()) {
    if (valid()) Close(handle_);
    handle_ = handle;
  }
  // For a call that returns the handle through a pointer: closes the one held first.
  T* put() {
    reset();
    return &handle_;
  }

 private:
  static T None() { return reinterpret_cast<T>(Invalid); }  // NOLINT: handles are pointers
  static bool IsNone(T handle) {
    const auto bits = reinterpret_cast<std::uintptr_t>(handle);  // NOLINT: as above
    return bits == Invalid || bits == AlsoInvalid;
  }

  T handle_ = None();
};

// CertCloseStore takes flags; none are wanted.
inline void CloseCertStore(HCERTSTORE store) { ::CertCloseStore(store, 0); }

// Kernel objects: files, mutexes, processes, threads. Null and INVALID_HANDLE_VALUE are both
// "none", as the Win32 calls use one or the other.
using UniqueHandle = UniqueAny<HANDLE, &::CloseHandle, 0, static_cast<std::uintptr_t>(-1)>;
// Opened registry keys (never the predefined roots, which are not closed).
using UniqueHkey = UniqueAny<HKEY, &::RegCloseKey>;
using UniqueCertStore = UniqueAny<HCERTSTORE, &CloseCertStore>;
using UniqueCertContext = UniqueAny<PCCERT_CONTEXT, &::CertFreeCertificateContext>;
// WinINet sessions and requests.
using UniqueInternet = UniqueAny<HINTERNET, &::InternetCloseHandle>;
// Libraries loaded with LoadLibrary (not GetModuleHandle's, which are borrowed).
using UniqueModule = UniqueAny<HMODULE, &::FreeLibrary>;

// Windows of the window host (dialogs, message boxes) and the icons they show.
using UniqueWindow = UniqueAny<HWND, &::DestroyWindow>;
using UniqueIcon = UniqueAny<HICON, &::DestroyIcon>;

// The task dialog of comctl32 6 (Vista and later), looked up at run time so that the
// program still loads on Windows XP, whose headers (the ones this build targets) hide it.
// The layout is the system's, packed as the system packs it.
#pragma pack(push, 1)
struct TaskDialogButton {
  int id;
  PCWSTR text;
};
using TaskDialogCallback = HRESULT(CALLBACK*)(HWND, UINT, WPARAM, LPARAM, LONG_PTR);
struct TaskDialogConfig {
  UINT cbSize;
  HWND hwndParent;
  HINSTANCE hInstance;
  int dwFlags;
  int dwCommonButtons;
  PCWSTR pszWindowTitle;
  PCWSTR pszMainIcon;
  PCWSTR pszMainInstruction;
  PCWSTR pszContent;
  UINT cButtons;
  const TaskDialogButton* pButtons;
  int nDefaultButton;
  UINT cRadioButtons;
  const TaskDialogButton* pRadioButtons;
  int nDefaultRadioButton;
  PCWSTR pszVerificationText;
  PCWSTR pszExpandedInformation;
  PCWSTR pszExpandedControlText;
  PCWSTR pszCollapsedControlText;
  PCWSTR pszFooterIcon;
  PCWSTR pszFooter;
  TaskDialogCallback pfCallback;
  LONG_PTR lpCallbackData;
  UINT cxWidth;
};
#pragma pack(pop)
using TaskDialogIndirectFunction = HRESULT(WINAPI*)(const TaskDialogConfig*, int*, int*, BOOL*);
inline constexpr int kTdfEnableHyperlinks = 0x1;
inline constexpr int kTdfUseCommandLinks = 0x10;
inline constexpr int kTdfExpandFooterArea = 0x40;

// A COM interface pointer that holds one reference and releases it when destroyed.
template <typename I>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes over a reference the caller already holds (as a Create or QueryInterface gives).
  explicit ComPtr(I* pointer) : pointer_(pointer) {}
  ComPtr(const ComPtr& other) : pointer_(other.pointer_) {
    if (pointer_ != nullptr) pointer_->AddRef();
  }
  ComPtr& operator=(const ComPtr& other) {
    ComPtr(other).swap(*this);
    return *this;
  }
  ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    ComPtr(std::move(other)).swap(*this);
    return *this;
  }
  ~ComPtr() { reset(); }

  [[nodiscard]] I* get() const { return pointer_; }
  I* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  void reset() {
    if (I* old = std::exchange(pointer_, nullptr)) old->Release();
  }
  // For a call that returns a new reference through a pointer.
  I** put() {
    reset();
    return &pointer_;
  }
  void swap(ComPtr& other) noexcept { std::swap(pointer_, other.pointer_); }

 private:
  I* pointer_ = nullptr;
};

std::wstring Wide(std::string_view text);
std::string Narrow(std::wstring_view text);

// GetLastError as the platform's error type.
inline std::uint32_t LastError() { return static_cast<std::uint32_t>(::GetLastError()); }

}  // namespace corvane::win32
