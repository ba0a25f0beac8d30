#include "hosts/windows/external_object.h"

#include <array>
#include <cstdint>
#include <cwchar>

namespace corvane::windows {
namespace {

struct Method {
  const wchar_t* name;
  UINT arguments;
};

// In dispatch-identifier order, from 1.
constexpr std::array<Method, 7> kMethods = {{
    {L"install", 1},
    {L"installcom", 1},
    {L"installmulti", 2},
    {L"fix", 1},
    {L"check", 1},
    {L"installandfix", 0},
    {L"stop", 1},
}};

// Argument `i` in call order (Invoke keeps them last first) as a 32-bit integer.
HRESULT ArgumentAt(const DISPPARAMS& params, UINT i, std::int32_t& out) {
  const VARIANT& given = params.rgvarg[params.cArgs - 1 - i];
  VARTYPE type = given.vt;
  if ((type & VT_BYREF) != 0) type = static_cast<VARTYPE>(type & ~VT_BYREF);
  // A script's undefined and null are no number; an omitted optional argument is a
  // VT_ERROR placeholder.
  if (type == VT_EMPTY || type == VT_NULL) return DISP_E_TYPEMISMATCH;
  if (type == VT_ERROR) return DISP_E_PARAMNOTFOUND;
  VARIANT converted;
  ::VariantInit(&converted);
  const HRESULT result =
      ::VariantChangeType(&converted, const_cast<VARIANT*>(&given), 0, VT_I4);  // NOLINT
  if (FAILED(result)) return result;
  out = converted.lVal;
  ::VariantClear(&converted);
  return S_OK;
}

}  // namespace

HRESULT ExternalObject::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, IID_IDispatch)) {
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT ExternalObject::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT ExternalObject::GetTypeInfo(UINT /*index*/, LCID /*locale*/, ITypeInfo** info) {
  if (info != nullptr) *info = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT ExternalObject::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID /*locale*/,
                                      DISPID* ids) {
  if (!::IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
  // Only the method's own name can be known: the methods take no named arguments.
  HRESULT result = S_OK;
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  if (names[0] != nullptr) {
    for (std::size_t m = 0; m < kMethods.size(); ++m) {
      // Automation names are matched regardless of case.
      if (::_wcsicmp(names[0], kMethods[m].name) == 0) ids[0] = static_cast<DISPID>(m + 1);
    }
  }
  for (UINT i = 0; i < count; ++i) {
    if (ids[i] == DISPID_UNKNOWN) result = DISP_E_UNKNOWNNAME;
  }
  return result;
}

HRESULT ExternalObject::Invoke(DISPID id, REFIID iid, LCID /*locale*/, WORD flags,
                               DISPPARAMS* params, VARIANT* result, EXCEPINFO* /*exception*/,
                               UINT* argumentError) {
  if (!::IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (id < 1 || id > static_cast<DISPID>(kMethods.size())) return DISP_E_MEMBERNOTFOUND;
  // Reading a method as a property (a script's `var f = external.fix`) runs nothing.
  if ((flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
  if (params == nullptr) return E_INVALIDARG;
  if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
  const Method& method = kMethods[static_cast<std::size_t>(id - 1)];
  if (params->cArgs != method.arguments) return DISP_E_BADPARAMCOUNT;
  if (params->cArgs != 0 && params->rgvarg == nullptr) return E_INVALIDARG;

  std::array<std::int32_t, 2> values{};
  for (UINT i = 0; i < method.arguments; ++i) {
    const HRESULT converted = ArgumentAt(*params, i, values[i]);
    if (FAILED(converted)) {
      if (argumentError != nullptr) *argumentError = params->cArgs - 1 - i;
      return converted == DISP_E_OVERFLOW || converted == DISP_E_PARAMNOTFOUND
                 ? converted
                 : DISP_E_TYPEMISMATCH;
    }
  }
  if (commands_ == nullptr) return E_UNEXPECTED;
  if (result != nullptr) ::VariantInit(result);  // every method returns nothing

  PageCommands& commands = *commands_;
  switch (id) {
    case 1:
      commands.install(values[0]);
      break;
    case 2:
      commands.installcom(values[0]);
      break;
    case 3:
      commands.installmulti(values[0], values[1]);
      break;
    case 4:
      commands.fix(values[0]);
      break;
    case 5:
      commands.check(values[0]);
      break;
    case 6:
      commands.installandfix();
      break;
    default:
      commands.stop(values[0]);
      break;
  }
  return S_OK;
}

}  // namespace corvane::windows
