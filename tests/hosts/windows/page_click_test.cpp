// The 登录 click under Wine, against a document of the test's own: the handler is set as the
// document's onclick and finds the link by id on the clicked element or one of its parents.

#include "hosts/windows/page_click.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace corvane::windows {
namespace {

// An object of named properties: texts, other objects, and one settable onclick.
class FakeObject final : public IDispatch {
 public:
  std::map<std::wstring, std::wstring> texts;
  std::map<std::wstring, FakeObject*> objects;
  win32::ComPtr<IDispatch> onclick;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, IID_IDispatch)) {
      *object = static_cast<IDispatch*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID,
                                          DISPID* ids) override {
    names_.emplace_back(names[0]);
    ids[0] = static_cast<DISPID>(names_.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    const std::wstring name = names_.at(static_cast<std::size_t>(id - 1));
    if (flags == DISPATCH_PROPERTYPUT && name == L"onclick") {
      params->rgvarg[0].pdispVal->AddRef();
      onclick = win32::ComPtr<IDispatch>(params->rgvarg[0].pdispVal);
      return S_OK;
    }
    if (const auto text = texts.find(name); text != texts.end()) {
      result->vt = VT_BSTR;
      result->bstrVal = ::SysAllocString(text->second.c_str());
      return S_OK;
    }
    if (const auto object = objects.find(name); object != objects.end()) {
      result->vt = VT_DISPATCH;
      result->pdispVal = object->second;
      return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
  }

 private:
  std::vector<std::wstring> names_;
};

void Click(FakeObject& document) {
  DISPPARAMS none{};
  document.onclick->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr,
                           nullptr);
}

TEST(PageClickTest, TheLinkOrTextInsideItOpensTheSiteOtherClicksDoNot) {
  FakeObject document, window, event, link, bold, button;
  document.objects[L"parentWindow"] = &window;
  window.objects[L"event"] = &event;
  link.texts[L"id"] = L"onOpen";
  bold.objects[L"parentElement"] = &link;  // <a id="onOpen"><b>登录</b></a>
  button.texts[L"id"] = L"f3";

  int opened = 0;
  PageClick click([&opened] { ++opened; });
  ASSERT_EQ(click.attach(document), S_OK);
  ASSERT_TRUE(document.onclick);

  event.objects[L"srcElement"] = &link;
  Click(document);
  event.objects[L"srcElement"] = &bold;
  Click(document);
  EXPECT_EQ(opened, 2);

  event.objects[L"srcElement"] = &button;
  Click(document);
  event.objects.erase(L"srcElement");  // no element at all
  Click(document);
  EXPECT_EQ(opened, 2);

  // Detached (the dialog has gone): a late click reaches nothing.
  event.objects[L"srcElement"] = &link;
  click.detach();
  Click(document);
  EXPECT_EQ(opened, 2);
  document.onclick.reset();
}

}  // namespace
}  // namespace corvane::windows
