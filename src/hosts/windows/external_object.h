#pragma once

// The page's window.external: an IDispatch whose methods are the dialog's page commands,
// `install`, `installcom`, `installmulti`, `fix`, `check`, `installandfix` and `stop`, with
// dispatch identifiers 1 to 7 in that order. Each call runs the command synchronously on the
// calling thread (the dialog thread: the browser calls it inside the page's click handler).
//
// Arguments are 32-bit integers as a script passes them: numbers (VT_I4, VT_R8, ...) and
// numeric strings are converted as automation converts them; a missing argument, an
// undefined or null one, a string that is no number or a number beyond 32 bits refuses the
// call (DISP_E_BADPARAMCOUNT, DISP_E_PARAMNOTFOUND, DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW)
// and runs nothing: a page fault must never turn into fix(0), the one-click setup.
//
// Lifetime: the object is owned by the window host, not by its COM references; the host
// keeps it alive until the browser control has released it, and detaches the commands
// before the dialog goes (calls then fail with E_UNEXPECTED).

#include <atomic>

#include "app/page_host.h"
#include "platform/win32/win32_util.h"

namespace corvane::windows {

class ExternalObject final : public IDispatch {
 public:
  explicit ExternalObject(PageCommands& commands) : commands_(&commands) {}
  ExternalObject(const ExternalObject&) = delete;
  ExternalObject& operator=(const ExternalObject&) = delete;
  ExternalObject(ExternalObject&&) = delete;
  ExternalObject& operator=(ExternalObject&&) = delete;
  virtual ~ExternalObject() = default;

  // No command runs from here on.
  void detach() { commands_ = nullptr; }
  [[nodiscard]] unsigned long references() const { return references_.load(); }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                   UINT* argumentError) override;

 private:
  PageCommands* commands_;
  std::atomic<unsigned long> references_{0};
};

}  // namespace corvane::windows
