#pragma once

// The dialog's calls into the page: the page's script functions called by name through the
// document's script object (IDispatch). Calls made before the page has loaded are kept and
// delivered, in order, as soon as it has (the browser host follows the same rule), so the
// first reports of a fast worker are not lost.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/page_host.h"
#include "platform/win32/win32_util.h"

namespace corvane::windows {

// Calls `name` on `script` with `args` in order (VT_I4 and VT_BSTR): GetIDsOfNames, then
// Invoke as a method. The lookup's or the call's HRESULT.
win::HResult CallScriptFunction(IDispatch& script, std::string_view name,
                                const std::vector<ScriptArg>& args);

// The "Script" property of a loaded document (its IDispatch), or none.
win32::ComPtr<IDispatch> ScriptOfDocument(IDispatch& document);

class PageScript final : public PageHost {
 public:
  // Dialog thread. Before the page is ready the call is kept and E_PENDING returned.
  win::HResult callScript(std::string_view name, const std::vector<ScriptArg>& args) override;

  // The page has loaded and `script` is its script object: the kept calls go first, in order.
  void documentComplete(win32::ComPtr<IDispatch> script);
  // The page is gone (navigation, close): calls are kept again until the next load.
  void documentGone() { script_.reset(); }

  [[nodiscard]] std::size_t pendingCalls() const { return pending_.size(); }

 private:
  win32::ComPtr<IDispatch> script_;
  std::vector<std::pair<std::string, std::vector<ScriptArg>>> pending_;
};

}  // namespace corvane::windows
