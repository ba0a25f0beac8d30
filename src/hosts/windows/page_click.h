#pragma once

// The "onOpen" click: a handler on the document's onclick that looks at the clicked element
// and its parents for the id "onOpen", so a link the page writes after loading counts too.

#include <atomic>
#include <functional>

#include "platform/win32/win32_util.h"

namespace corvane::windows {

class PageClick final : public IDispatch {
 public:
  explicit PageClick(std::function<void()> onOpen) : onOpen_(std::move(onOpen)) {}
  PageClick(const PageClick&) = delete;
  PageClick& operator=(const PageClick&) = delete;
  PageClick(PageClick&&) = delete;
  PageClick& operator=(PageClick&&) = delete;
  virtual ~PageClick() = default;

  // Becomes the onclick handler of `document`. The page's own handlers are on its elements.
  HRESULT attach(IDispatch& document);
  // No click reaches the dialog from here on.
  void detach() {
    onOpen_ = nullptr;
    document_.reset();
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                   UINT* argumentError) override;

 private:
  std::function<void()> onOpen_;
  win32::ComPtr<IDispatch> document_;
  std::atomic<unsigned long> references_{0};
};

// Property `name` of `object` by IDispatch; VT_EMPTY when it has none. The caller clears it.
VARIANT GetProperty(IDispatch& object, const wchar_t* name);

}  // namespace corvane::windows
