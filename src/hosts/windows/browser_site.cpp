#include "hosts/windows/browser_site.h"

#include <utility>

namespace corvane::windows {
namespace {

// Internet Explorer's browser control.
constexpr CLSID kWebBrowserClass = {
    0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};

// The page fills the window: no 3-D border, no scroll bars, themed controls, a dialog's look.
constexpr DWORD kHostFlags =
    DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_SCROLL_NO | DOCHOSTUIFLAG_THEME | DOCHOSTUIFLAG_DIALOG;

}  // namespace

BrowserSite::BrowserSite(HWND window, IDispatch& external, Events events)
    : window_(window), external_(external), events_(std::move(events)) {}

BrowserSite::~BrowserSite() { close(); }

HRESULT BrowserSite::create() {
  HRESULT result = ::CoCreateInstance(kWebBrowserClass, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IOleObject, reinterpret_cast<void**>(object_.put()));
  if (FAILED(result)) return result;
  result = object_->SetClientSite(static_cast<IOleClientSite*>(this));
  if (FAILED(result)) return result;
  RECT area{};
  ::GetClientRect(window_, &area);
  result = object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(this), 0,
                           window_, &area);
  if (FAILED(result)) return result;
  result = object_->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(browser_.put()));
  if (FAILED(result)) return result;
  // Script errors of the page are never put to the user as dialogs.
  browser_->put_Silent(VARIANT_TRUE);
  browser_->put_Left(0);
  browser_->put_Top(0);
  browser_->put_Width(area.right - area.left);
  browser_->put_Height(area.bottom - area.top);

  win32::ComPtr<IConnectionPointContainer> points;
  result = browser_->QueryInterface(IID_IConnectionPointContainer,
                                    reinterpret_cast<void**>(points.put()));
  if (FAILED(result)) return result;
  result = points->FindConnectionPoint(DIID_DWebBrowserEvents2, eventSource_.put());
  if (FAILED(result)) return result;
  return eventSource_->Advise(static_cast<IDispatch*>(this), &eventCookie_);
}

HRESULT BrowserSite::navigate(const std::wstring& url) {
  if (!browser_) return E_UNEXPECTED;
  VARIANT address;
  ::VariantInit(&address);
  address.vt = VT_BSTR;
  address.bstrVal = ::SysAllocStringLen(url.data(), static_cast<UINT>(url.size()));
  if (address.bstrVal == nullptr) return E_OUTOFMEMORY;
  VARIANT none;
  ::VariantInit(&none);
  const HRESULT result = browser_->Navigate2(&address, &none, &none, &none, &none);
  ::VariantClear(&address);
  return result;
}

void BrowserSite::close() {
  if (eventSource_ && eventCookie_ != 0) eventSource_->Unadvise(eventCookie_);
  eventCookie_ = 0;
  eventSource_.reset();
  active_.reset();
  browser_.reset();
  if (object_) {
    object_->Close(OLECLOSE_NOSAVE);
    object_->SetClientSite(nullptr);
    object_.reset();
  }
}

bool BrowserSite::translateAccelerator(MSG& message) {
  if (!active_ || message.message < WM_KEYFIRST || message.message > WM_KEYLAST) return false;
  return active_->TranslateAccelerator(&message) == S_OK;
}

HRESULT BrowserSite::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, IID_IOleClientSite)) {
    *object = static_cast<IOleClientSite*>(this);
  } else if (::IsEqualIID(iid, IID_IOleWindow) || ::IsEqualIID(iid, IID_IOleInPlaceSite)) {
    *object = static_cast<IOleInPlaceSite*>(this);
  } else if (::IsEqualIID(iid, IID_IOleInPlaceUIWindow) ||
             ::IsEqualIID(iid, IID_IOleInPlaceFrame)) {
    *object = static_cast<IOleInPlaceFrame*>(this);
  } else if (::IsEqualIID(iid, IID_IDocHostUIHandler)) {
    *object = static_cast<IDocHostUIHandler*>(this);
  } else if (::IsEqualIID(iid, IID_IDispatch) || ::IsEqualIID(iid, DIID_DWebBrowserEvents2)) {
    *object = static_cast<IDispatch*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

HRESULT BrowserSite::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker != nullptr) *moniker = nullptr;
  return E_NOTIMPL;
}

HRESULT BrowserSite::GetContainer(IOleContainer** container) {
  if (container != nullptr) *container = nullptr;
  return E_NOINTERFACE;
}

HRESULT BrowserSite::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = window_;
  return S_OK;
}

HRESULT BrowserSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                      LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
  if (frame == nullptr || document == nullptr || position == nullptr || clip == nullptr ||
      info == nullptr) {
    return E_POINTER;
  }
  *frame = static_cast<IOleInPlaceFrame*>(this);
  AddRef();
  *document = nullptr;
  ::GetClientRect(window_, position);
  *clip = *position;
  info->fMDIApp = FALSE;
  info->hwndFrame = window_;
  info->haccel = nullptr;
  info->cAccelEntries = 0;
  return S_OK;
}

HRESULT BrowserSite::SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) {
  if (object != nullptr) object->AddRef();
  active_ = win32::ComPtr<IOleInPlaceActiveObject>(object);
  return S_OK;
}

HRESULT BrowserSite::GetHostInfo(DOCHOSTUIINFO* info) {
  if (info == nullptr) return E_POINTER;
  info->dwFlags = kHostFlags;
  info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
  return S_OK;
}

HRESULT BrowserSite::GetOptionKeyPath(LPOLESTR* key, DWORD) {
  if (key != nullptr) *key = nullptr;
  return S_FALSE;
}

HRESULT BrowserSite::GetDropTarget(IDropTarget*, IDropTarget** target) {
  if (target != nullptr) *target = nullptr;
  return E_NOTIMPL;
}

HRESULT BrowserSite::GetExternal(IDispatch** external) {
  if (external == nullptr) return E_POINTER;
  external_.AddRef();
  *external = &external_;
  return S_OK;
}

HRESULT BrowserSite::TranslateUrl(DWORD, LPWSTR, LPWSTR* translated) {
  if (translated != nullptr) *translated = nullptr;
  return S_FALSE;
}

HRESULT BrowserSite::FilterDataObject(IDataObject*, IDataObject** filtered) {
  if (filtered != nullptr) *filtered = nullptr;
  return S_FALSE;
}

HRESULT BrowserSite::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT BrowserSite::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info != nullptr) *info = nullptr;
  return DISP_E_BADINDEX;
}

bool BrowserSite::isTopLevel(IDispatch* frame) const {
  if (frame == nullptr || !browser_) return false;
  // COM identity: both sides as IUnknown.
  win32::ComPtr<IUnknown> mine;
  win32::ComPtr<IUnknown> theirs;
  browser_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(mine.put()));
  frame->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(theirs.put()));
  return mine && mine.get() == theirs.get();
}

HRESULT BrowserSite::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                            UINT*) {
  if (params == nullptr) return S_OK;
  // Event arguments come last first.
  const auto argument = [params](UINT i) -> VARIANT* {
    return i < params->cArgs ? &params->rgvarg[params->cArgs - 1 - i] : nullptr;
  };
  switch (id) {
    case DISPID_DOCUMENTCOMPLETE: {
      const VARIANT* frame = argument(0);
      if (frame == nullptr || frame->vt != VT_DISPATCH || !isTopLevel(frame->pdispVal)) break;
      win32::ComPtr<IDispatch> document;
      if (browser_) browser_->get_Document(document.put());
      if (document && events_.documentComplete) events_.documentComplete(std::move(document));
      break;
    }
    case DISPID_NAVIGATEERROR: {
      const VARIANT* frame = argument(0);
      if (frame != nullptr && frame->vt == VT_DISPATCH && isTopLevel(frame->pdispVal) &&
          events_.navigationFailed) {
        events_.navigationFailed();
      }
      break;
    }
    case DISPID_NEWWINDOW2:
    case DISPID_NEWWINDOW3: {
      // The page opens no windows of its own; the site is opened by the 登录 link's handler.
      const VARIANT* cancel = argument(1);
      if (cancel != nullptr && cancel->vt == (VT_BOOL | VT_BYREF)) {
        *cancel->pboolVal = VARIANT_TRUE;
      }
      break;
    }
    default:
      break;
  }
  return S_OK;
}

}  // namespace corvane::windows
