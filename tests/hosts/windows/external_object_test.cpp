// window.external under Wine: the names a page uses, the VARIANTs its script passes, and
// calls that must run nothing.

#include "hosts/windows/external_object.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace corvane::windows {
namespace {

class RecordingCommands final : public PageCommands {
 public:
  std::vector<std::string> calls;

  void install(std::int32_t n) override { record("install", {n}); }
  void installcom(std::int32_t group) override { record("installcom", {group}); }
  void installmulti(std::int32_t first, std::int32_t last) override {
    record("installmulti", {first, last});
  }
  void fix(std::int32_t n) override { record("fix", {n}); }
  void check(std::int32_t n) override { record("check", {n}); }
  void installandfix() override { record("installandfix", {}); }
  void stop(std::int32_t n) override { record("stop", {n}); }
  void openSite() override { record("openSite", {}); }

 private:
  void record(const char* name, const std::vector<std::int32_t>& args) {
    std::string text = std::string(name) + "(";
    for (std::size_t i = 0; i < args.size(); ++i) {
      if (i != 0) text += ',';
      text += std::to_string(args[i]);
    }
    calls.push_back(text + ")");
  }
};

VARIANT Int(std::int32_t value) {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}
VARIANT Real(double value) {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = VT_R8;
  v.dblVal = value;
  return v;
}
VARIANT Text(const wchar_t* value) {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = ::SysAllocString(value);
  return v;
}
VARIANT OfType(VARTYPE type) {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = type;
  if (type == VT_ERROR) v.scode = DISP_E_PARAMNOTFOUND;
  return v;
}

// Looks `name` up and calls it as a script does, the arguments given in call order.
HRESULT CallByName(IDispatch& external, const wchar_t* name, std::vector<VARIANT> args,
                   WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET) {
  std::wstring copy(name);
  LPOLESTR names[] = {copy.data()};
  DISPID id = 0;
  HRESULT result = external.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(result)) return result;
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS params{};
  params.rgvarg = reversed.empty() ? nullptr : reversed.data();
  params.cArgs = static_cast<UINT>(reversed.size());
  VARIANT out;
  ::VariantInit(&out);
  UINT argumentError = 0;
  result = external.Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &out, nullptr,
                           &argumentError);
  for (VARIANT& arg : reversed) ::VariantClear(&arg);
  EXPECT_EQ(out.vt, VT_EMPTY);  // every method returns nothing
  return result;
}

TEST(ExternalObjectTest, EveryCommandByNameInTableOrder) {
  RecordingCommands commands;
  ExternalObject external(commands);
  const wchar_t* const names[] = {L"install", L"installcom",    L"installmulti", L"fix",
                                  L"check",   L"installandfix", L"stop"};
  for (DISPID expected = 1; const wchar_t* name : names) {
    std::wstring copy(name);
    LPOLESTR one[] = {copy.data()};
    DISPID id = 0;
    ASSERT_EQ(external.GetIDsOfNames(IID_NULL, one, 1, LOCALE_SYSTEM_DEFAULT, &id), S_OK);
    EXPECT_EQ(id, expected++);
  }

  EXPECT_EQ(CallByName(external, L"install", {Int(0)}), S_OK);
  EXPECT_EQ(CallByName(external, L"installcom", {Int(3)}), S_OK);
  EXPECT_EQ(CallByName(external, L"installmulti", {Int(2), Int(4)}), S_OK);
  EXPECT_EQ(CallByName(external, L"fix", {Int(16)}), S_OK);
  EXPECT_EQ(CallByName(external, L"check", {Int(1)}), S_OK);
  EXPECT_EQ(CallByName(external, L"installandfix", {}), S_OK);
  EXPECT_EQ(CallByName(external, L"stop", {Int(-1)}), S_OK);
  // What a script's numbers and numeric strings become.
  EXPECT_EQ(CallByName(external, L"fix", {Real(12.0)}), S_OK);
  EXPECT_EQ(CallByName(external, L"installmulti", {Text(L"2"), Text(L" 5")}), S_OK);
  EXPECT_EQ(CallByName(external, L"Check", {Text(L"0")}), S_OK);  // names regardless of case
  EXPECT_EQ(commands.calls,
            (std::vector<std::string>{"install(0)", "installcom(3)", "installmulti(2,4)", "fix(16)",
                                      "check(1)", "installandfix()", "stop(-1)", "fix(12)",
                                      "installmulti(2,5)", "check(0)"}));
}

TEST(ExternalObjectTest, BadCallsAreRefusedAndRunNothing) {
  RecordingCommands commands;
  ExternalObject external(commands);
  struct Case {
    const char* what;
    const wchar_t* name;
    std::vector<VARIANT> args;
    HRESULT expected;
  };
  std::vector<Case> cases;
  cases.push_back({"unknown name", L"reboot", {Int(1)}, DISP_E_UNKNOWNNAME});
  cases.push_back({"the click is no method", L"openSite", {}, DISP_E_UNKNOWNNAME});
  cases.push_back({"missing argument", L"fix", {}, DISP_E_BADPARAMCOUNT});
  cases.push_back({"one of two", L"installmulti", {Int(1)}, DISP_E_BADPARAMCOUNT});
  cases.push_back({"one too many", L"installandfix", {Int(1)}, DISP_E_BADPARAMCOUNT});
  cases.push_back({"undefined", L"fix", {OfType(VT_EMPTY)}, DISP_E_TYPEMISMATCH});
  cases.push_back({"null", L"fix", {OfType(VT_NULL)}, DISP_E_TYPEMISMATCH});
  cases.push_back({"omitted", L"install", {OfType(VT_ERROR)}, DISP_E_PARAMNOTFOUND});
  cases.push_back({"no number", L"fix", {Text(L"zero")}, DISP_E_TYPEMISMATCH});
  cases.push_back({"empty text", L"check", {Text(L"")}, DISP_E_TYPEMISMATCH});
  cases.push_back({"beyond 32 bits", L"install", {Real(1e12)}, DISP_E_OVERFLOW});
  cases.push_back({"an object", L"fix", {OfType(VT_DISPATCH)}, DISP_E_TYPEMISMATCH});
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(CallByName(external, c.name, std::move(c.args)), c.expected);
  }
  // Read as a property, a method runs nothing.
  EXPECT_EQ(CallByName(external, L"fix", {Int(0)}, DISPATCH_PROPERTYGET), DISP_E_MEMBERNOTFOUND);
  // Identifiers beyond the table, named arguments and a wrong interface.
  DISPPARAMS none{};
  EXPECT_EQ(external.Invoke(8, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(external.Invoke(0, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
  VARIANT arg = Int(1);
  DISPID named = 0;
  DISPPARAMS withName{&arg, &named, 1, 1};
  EXPECT_EQ(external.Invoke(4, IID_NULL, 0, DISPATCH_METHOD, &withName, nullptr, nullptr, nullptr),
            DISP_E_NONAMEDARGS);
  DISPPARAMS one{&arg, nullptr, 1, 0};
  EXPECT_EQ(external.Invoke(4, IID_IDispatch, 0, DISPATCH_METHOD, &one, nullptr, nullptr, nullptr),
            DISP_E_UNKNOWNINTERFACE);
  EXPECT_TRUE(commands.calls.empty());

  // After the dialog has gone, nothing reaches it.
  external.detach();
  EXPECT_EQ(CallByName(external, L"check", {Int(1)}), E_UNEXPECTED);
  EXPECT_TRUE(commands.calls.empty());
}

TEST(ExternalObjectTest, AnIDispatchForTheBrowser) {
  RecordingCommands commands;
  ExternalObject external(commands);
  IDispatch* dispatch = nullptr;
  ASSERT_EQ(external.QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
  EXPECT_EQ(dispatch, static_cast<IDispatch*>(&external));
  IUnknown* unknown = nullptr;
  EXPECT_EQ(external.QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  void* other = &external;
  EXPECT_EQ(external.QueryInterface(IID_IClassFactory, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(external.references(), 2U);
  dispatch->Release();
  unknown->Release();
  EXPECT_EQ(external.references(), 0U);
  UINT count = 1;
  EXPECT_EQ(external.GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0U);
}

}  // namespace
}  // namespace corvane::windows
