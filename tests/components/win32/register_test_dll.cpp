// A COM server library for the registration test: DllRegisterServer records one class
// whose server is this file, as any control's registration does; DllUnregisterServer removes
// it.

#include "platform/win32/win32_util.h"

namespace {

HMODULE g_module = nullptr;  // NOLINT: the loader hands it over only here
constexpr wchar_t kServerKey[] = L"CLSID\\{6F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9}\\InprocServer32";
constexpr wchar_t kClassKey[] = L"CLSID\\{6F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9}";

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllRegisterServer() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(g_module, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return E_FAIL;
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, kServerKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
    return E_FAIL;
  }
  const LONG result = ::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                                       static_cast<DWORD>((length + 1) * sizeof(wchar_t)));
  ::RegCloseKey(key);
  return result == ERROR_SUCCESS ? S_OK : E_FAIL;
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllUnregisterServer() {
  ::RegDeleteKeyW(HKEY_CLASSES_ROOT, kServerKey);
  ::RegDeleteKeyW(HKEY_CLASSES_ROOT, kClassKey);
  return S_OK;
}
