#include "hosts/windows/page_script.h"

#include <variant>

namespace corvane::windows {
namespace {

// Owns the arguments of one Invoke: each VARIANT is cleared (its BSTR freed) on the way out.
class VariantArgs {
 public:
  explicit VariantArgs(std::size_t count) : args_(count) {
    for (VARIANT& arg : args_) ::VariantInit(&arg);
  }
  VariantArgs(const VariantArgs&) = delete;
  VariantArgs& operator=(const VariantArgs&) = delete;
  VariantArgs(VariantArgs&&) = delete;
  VariantArgs& operator=(VariantArgs&&) = delete;
  ~VariantArgs() {
    for (VARIANT& arg : args_) ::VariantClear(&arg);
  }
  VARIANT& operator[](std::size_t i) { return args_[i]; }
  VARIANT* data() { return args_.data(); }

 private:
  std::vector<VARIANT> args_;
};

class Bstr {
 public:
  explicit Bstr(const std::wstring& text)
      : text_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  Bstr(Bstr&&) = delete;
  Bstr& operator=(Bstr&&) = delete;
  ~Bstr() { ::SysFreeString(text_); }
  [[nodiscard]] BSTR get() const { return text_; }

 private:
  BSTR text_;
};

}  // namespace

win::HResult CallScriptFunction(IDispatch& script, std::string_view name,
                                const std::vector<ScriptArg>& args) {
  const Bstr wideName(win32::Wide(name));
  if (wideName.get() == nullptr) return E_OUTOFMEMORY;
  LPOLESTR names[] = {wideName.get()};
  DISPID id = DISPID_UNKNOWN;
  HRESULT result = script.GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id);
  if (FAILED(result)) return result;

  // Invoke takes the arguments last first.
  VariantArgs variants(args.size());
  for (std::size_t i = 0; i < args.size(); ++i) {
    VARIANT& slot = variants[args.size() - 1 - i];
    if (const auto* number = std::get_if<std::int32_t>(&args[i])) {
      slot.vt = VT_I4;
      slot.lVal = *number;
    } else {
      const std::wstring text = win32::Wide(std::get<std::string>(args[i]));
      slot.bstrVal = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
      if (slot.bstrVal == nullptr) return E_OUTOFMEMORY;
      slot.vt = VT_BSTR;
    }
  }
  DISPPARAMS params{};
  params.rgvarg = args.empty() ? nullptr : variants.data();
  params.cArgs = static_cast<UINT>(args.size());
  VARIANT unused;
  ::VariantInit(&unused);
  result = script.Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &unused,
                         nullptr, nullptr);
  ::VariantClear(&unused);
  return result;
}

win32::ComPtr<IDispatch> ScriptOfDocument(IDispatch& document) {
  const Bstr name(L"Script");
  LPOLESTR names[] = {name.get()};
  DISPID id = DISPID_UNKNOWN;
  if (FAILED(document.GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id))) return {};
  DISPPARAMS none{};
  VARIANT value;
  ::VariantInit(&value);
  win32::ComPtr<IDispatch> script;
  if (SUCCEEDED(document.Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                                &value, nullptr, nullptr)) &&
      value.vt == VT_DISPATCH && value.pdispVal != nullptr) {
    value.pdispVal->AddRef();
    script = win32::ComPtr<IDispatch>(value.pdispVal);
  }
  ::VariantClear(&value);
  return script;
}

win::HResult PageScript::callScript(std::string_view name, const std::vector<ScriptArg>& args) {
  if (!script_) {
    pending_.emplace_back(std::string(name), args);
    return win::kEPending;
  }
  return CallScriptFunction(*script_.get(), name, args);
}

void PageScript::documentComplete(win32::ComPtr<IDispatch> script) {
  if (!script) return;
  // Calls that arrive while the kept ones run (a report made inside a script handler) are
  // kept behind them, so the page sees every call in the order it was made.
  while (!pending_.empty()) {
    const auto call = std::move(pending_.front());
    pending_.erase(pending_.begin());
    CallScriptFunction(*script.get(), call.first, call.second);
  }
  script_ = std::move(script);
}

}  // namespace corvane::windows
