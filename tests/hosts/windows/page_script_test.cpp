// The dialog's calls into the page under Wine, against a script object of the test's own:
// what reaches the script, in which order, and the calls made before the page was ready.

#include "hosts/windows/page_script.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace corvane::windows {
namespace {

// A page's script object that knows setState and clearState and records every call as
// "name(arg,...)", texts quoted. A `during` hook runs inside a call, as a page's handler may.
class FakeScript final : public IDispatch {
 public:
  std::vector<std::string> calls;
  std::vector<LCID> lookupLocales;
  std::function<void()> during;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, IID_IDispatch)) {
      *object = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override {
    lookupLocales.push_back(locale);
    if (count != 1) return E_INVALIDARG;
    const std::wstring name(names[0]);
    if (name == L"setState") {
      ids[0] = 1;
    } else if (name == L"clearState") {
      ids[0] = 2;
    } else if (name == L"Script") {
      ids[0] = 3;
    } else {
      ids[0] = DISPID_UNKNOWN;
      return DISP_E_UNKNOWNNAME;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    if (id == 3) {  // as a document: its script is itself
      if (flags != DISPATCH_PROPERTYGET) return DISP_E_MEMBERNOTFOUND;
      result->vt = VT_DISPATCH;
      result->pdispVal = this;
      AddRef();
      return S_OK;
    }
    if (flags != DISPATCH_METHOD || params->cNamedArgs != 0) return DISP_E_MEMBERNOTFOUND;
    std::string text = id == 1 ? "setState(" : "clearState(";
    for (UINT i = 0; i < params->cArgs; ++i) {
      const VARIANT& arg = params->rgvarg[params->cArgs - 1 - i];  // call order
      if (i != 0) text += ',';
      if (arg.vt == VT_I4) {
        text += std::to_string(arg.lVal);
      } else if (arg.vt == VT_BSTR) {
        text +=
            '"' + win32::Narrow(std::wstring_view(arg.bstrVal, ::SysStringLen(arg.bstrVal))) + '"';
      } else {
        text += "?";
      }
    }
    calls.push_back(text + ")");
    if (during) std::exchange(during, nullptr)();
    return S_OK;
  }

  unsigned long references = 0;
};

TEST(PageScriptTest, CallsBeforeTheDocumentAreDeliveredInOrderWhenItCompletes) {
  FakeScript script;
  PageScript page;
  EXPECT_EQ(page.callScript("setState", {1, 1, std::string("Windows 7 旗舰版")}), win::kEPending);
  EXPECT_EQ(page.callScript("clearState", {800, 2}), win::kEPending);
  EXPECT_TRUE(script.calls.empty());
  EXPECT_EQ(page.pendingCalls(), 2U);

  // A report made inside a kept call's handler comes after the kept ones, not before.
  script.during = [&page] { page.callScript("setState", {0, 2, 1999}); };
  script.AddRef();
  page.documentComplete(win32::ComPtr<IDispatch>(&script));
  EXPECT_EQ(page.pendingCalls(), 0U);
  EXPECT_EQ(page.callScript("setState", {0, 0, 100}), S_OK);
  EXPECT_EQ(script.calls,
            (std::vector<std::string>{R"(setState(1,1,"Windows 7 旗舰版"))", "clearState(800,2)",
                                      "setState(0,2,1999)", "setState(0,0,100)"}));
  // Names are looked up in the system's locale.
  for (const LCID locale : script.lookupLocales) EXPECT_EQ(locale, LOCALE_SYSTEM_DEFAULT);

  // A function the page lacks is an error the caller may ignore, not a crash.
  EXPECT_EQ(page.callScript("setStat", {1}), DISP_E_UNKNOWNNAME);

  // The page gone (a navigation), calls wait again for the next one.
  page.documentGone();
  EXPECT_EQ(page.callScript("setState", {0, 3, 0}), win::kEPending);
  EXPECT_EQ(script.calls.size(), 4U);
  EXPECT_EQ(script.references, 0U);  // no reference is kept while the page is gone
}

TEST(PageScriptTest, TheScriptOfADocumentAndNoneWithoutOne) {
  FakeScript document;
  win32::ComPtr<IDispatch> script = ScriptOfDocument(document);
  ASSERT_TRUE(script);
  EXPECT_EQ(script.get(), static_cast<IDispatch*>(&document));
  EXPECT_EQ(CallScriptFunction(*script.get(), "setState", {2, 3, 0x40000002}), S_OK);
  EXPECT_EQ(document.calls, std::vector<std::string>{"setState(2,3,1073741826)"});
  script.reset();
  EXPECT_EQ(document.references, 0U);

  // Before the page is ready the kept calls stay kept: no script, nothing delivered.
  PageScript page;
  page.callScript("setState", {0, 2, 1002});
  page.documentComplete({});
  EXPECT_EQ(page.pendingCalls(), 1U);
}

}  // namespace
}  // namespace corvane::windows
