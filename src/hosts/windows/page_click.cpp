#include "hosts/windows/page_click.h"

#include <string>
#include <utility>

namespace corvane::windows {
namespace {

// How far up from the clicked element the link is looked for (text inside the link's own
// markup is a child of it).
constexpr int kParentLevels = 8;

// Takes the IDispatch out of `value` (and clears it).
win32::ComPtr<IDispatch> TakeDispatch(VARIANT& value) {
  win32::ComPtr<IDispatch> object;
  if (value.vt == VT_DISPATCH && value.pdispVal != nullptr) {
    value.pdispVal->AddRef();
    object = win32::ComPtr<IDispatch>(value.pdispVal);
  }
  ::VariantClear(&value);
  return object;
}

win32::ComPtr<IDispatch> GetObject(IDispatch& object, const wchar_t* name) {
  VARIANT value = GetProperty(object, name);
  return TakeDispatch(value);
}

}  // namespace

VARIANT GetProperty(IDispatch& object, const wchar_t* name) {
  VARIANT value;
  ::VariantInit(&value);
  std::wstring copy(name);
  LPOLESTR names[] = {copy.data()};
  DISPID id = DISPID_UNKNOWN;
  if (FAILED(object.GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id))) return value;
  DISPPARAMS none{};
  if (FAILED(object.Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &value,
                           nullptr, nullptr))) {
    ::VariantClear(&value);
    ::VariantInit(&value);
  }
  return value;
}

HRESULT PageClick::attach(IDispatch& document) {
  std::wstring name = L"onclick";
  LPOLESTR names[] = {name.data()};
  DISPID id = DISPID_UNKNOWN;
  HRESULT result = document.GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id);
  if (FAILED(result)) return result;
  VARIANT handler;
  ::VariantInit(&handler);
  handler.vt = VT_DISPATCH;
  handler.pdispVal = this;
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{&handler, &put, 1, 1};
  result = document.Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params,
                           nullptr, nullptr, nullptr);
  if (SUCCEEDED(result)) {
    document.AddRef();
    document_ = win32::ComPtr<IDispatch>(&document);
  }
  return result;
}

HRESULT PageClick::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, IID_IDispatch)) {
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT PageClick::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT PageClick::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info != nullptr) *info = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT PageClick::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                          UINT*) {
  if (result != nullptr) ::VariantInit(result);
  if (id != DISPID_VALUE || !document_ || !onOpen_) return S_OK;
  const win32::ComPtr<IDispatch> window = GetObject(*document_.get(), L"parentWindow");
  if (!window) return S_OK;
  const win32::ComPtr<IDispatch> event = GetObject(*window.get(), L"event");
  if (!event) return S_OK;
  win32::ComPtr<IDispatch> element = GetObject(*event.get(), L"srcElement");
  for (int level = 0; element && level < kParentLevels; ++level) {
    VARIANT elementId = GetProperty(*element.get(), L"id");
    const bool isLink = elementId.vt == VT_BSTR && elementId.bstrVal != nullptr &&
                        std::wstring(elementId.bstrVal) == L"onOpen";
    ::VariantClear(&elementId);
    if (isLink) {
      // The handler may be detached while the site opens; keep the call's own copy.
      const std::function<void()> open = onOpen_;
      open();
      return S_OK;
    }
    element = GetObject(*element.get(), L"parentElement");
  }
  return S_OK;
}

}  // namespace corvane::windows
