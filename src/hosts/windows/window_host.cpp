#include "hosts/windows/window_host.h"

#include <functional>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/corvane_dlg.h"
#include "hosts/common/dialog_adapter.h"
#include "hosts/common/host_session.h"
#include "hosts/windows/browser_site.h"
#include "hosts/windows/external_object.h"
#include "hosts/windows/page_click.h"
#include "hosts/windows/page_script.h"
#include "hosts/windows/window_event_loop.h"
#include "hosts/windows/window_prompts.h"

namespace corvane::windows {
namespace {

constexpr int kDialogTemplate = 102;
constexpr int kIconId = 128;
constexpr int kWindowWidth = 836;
constexpr int kWindowHeight = 592;
constexpr int kNoBrowserEngineString = 160;

// Internet Explorer's HTML document and the browser control that shows it.
constexpr CLSID kHtmlDocumentClass = {
    0x25336920, 0x03F9, 0x11CF, {0x8F, 0xD0, 0x00, 0xAA, 0x00, 0x68, 0x6F, 0x13}};
constexpr CLSID kWebBrowserClass = {
    0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};

// OLE on the dialog thread for as long as the window lives: the browser control needs it
// (drag and drop, in-place activation), COM alone would not do.
class OleSession {
 public:
  OleSession() : result_(::OleInitialize(nullptr)) {}
  OleSession(const OleSession&) = delete;
  OleSession& operator=(const OleSession&) = delete;
  OleSession(OleSession&&) = delete;
  OleSession& operator=(OleSession&&) = delete;
  ~OleSession() {
    if (SUCCEEDED(result_)) ::OleUninitialize();
  }
  [[nodiscard]] bool ok() const { return SUCCEEDED(result_); }

 private:
  HRESULT result_;
};

// Both objects must be creatable for the page to show: a system without Internet Explorer's
// HTML engine (a stripped Windows, Wine without its Gecko) has the control but no page.
bool BrowserEngineAvailable() {
  for (const CLSID& kind : {kHtmlDocumentClass, kWebBrowserClass}) {
    win32::ComPtr<IUnknown> object;
    if (FAILED(::CoCreateInstance(kind, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                  reinterpret_cast<void**>(object.put())))) {
      return false;
    }
  }
  return true;
}

// The page inside the program: res://<program path>/104.
std::wstring PageAddress() {
  std::wstring path(MAX_PATH, L'\0');
  while (true) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  return L"res://" + path + L"/104";
}

// What the window procedure reaches while the dialog runs.
struct WindowState {
  WindowEventLoop* loop = nullptr;
  std::function<void()> onClose;
};

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrW(window, GWLP_USERDATA, lParam);
    return TRUE;
  }
  auto* state = reinterpret_cast<WindowState*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (state == nullptr) return FALSE;
  if (state->loop != nullptr && state->loop->handleMessage(message, wParam, lParam)) return TRUE;
  if (message == WM_CLOSE) {
    if (state->onClose) state->onClose();
    return TRUE;
  }
  return FALSE;
}

// The dialog's calls go to the page's script and, as in the other hosts, to the transcript.
class RecordedPage final : public PageHost {
 public:
  RecordedPage(PageScript& script, hosts::HostSession& session)
      : script_(script), session_(session) {}
  win::HResult callScript(std::string_view name, const std::vector<ScriptArg>& args) override {
    (void)session_.callScript(name, args);
    return script_.callScript(name, args);
  }

 private:
  PageScript& script_;
  hosts::HostSession& session_;
};

win32::UniqueIcon LoadProgramIcon(int metricX, int metricY) {
  return win32::UniqueIcon(static_cast<HICON>(
      ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconId), IMAGE_ICON,
                   ::GetSystemMetrics(metricX), ::GetSystemMetrics(metricY), 0)));
}

}  // namespace

bool WindowHostBuilt() { return true; }

int RunWindowHost(const hosts::HostOptions& options, std::ostream* transcript) {
  const OleSession ole;
  if (!ole.ok()) {
    std::cerr << "corvane: OLE could not be initialised on the dialog thread\n";
    return kWindowFailedStatus;
  }
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_WIN95_CLASSES;
  ::InitCommonControlsEx(&controls);

  // The icons outlive the window that shows them.
  const win32::UniqueIcon bigIcon = LoadProgramIcon(SM_CXICON, SM_CYICON);
  const win32::UniqueIcon smallIcon = LoadProgramIcon(SM_CXSMICON, SM_CYSMICON);
  WindowState state;
  const win32::UniqueWindow window(
      ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kDialogTemplate), nullptr,
                           &DialogProc, reinterpret_cast<LPARAM>(&state)));
  if (!window.valid()) {
    std::cerr << "corvane: the dialog window could not be made (error " << win32::LastError()
              << ")\n";
    return kWindowFailedStatus;
  }
  ::SendMessageW(window.get(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon.get()));
  ::SendMessageW(window.get(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon.get()));
  ::SetWindowPos(window.get(), nullptr, 0, 0, kWindowWidth, kWindowHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

  // The session records what the window does (--transcript) and runs --do commands once the
  // page has loaded; the prompts are the window's own, answered by the user.
  WindowEventLoop loop(window.get());
  WindowPrompts prompts(window.get());
  hosts::HostSession session(loop, options, transcript, hosts::PageView(),
                             [&prompts](const Prompt& prompt) { return prompts.show(prompt); });
  // Each prompt is a modal dialog of its own: a worker's may be open while the dialog thread
  // asks, and must not hold the dialog thread's back.
  session.setAskerSerialises();

  const auto cannotShowPage = [&session] {
    // Without the page there is nothing the user could do here: say why, then end. No page
    // command ran, so a transcript ends with this message.
    promptInfo(session, kNoBrowserEngineString, 0);
    return kNoBrowserEngineStatus;
  };
  if (!BrowserEngineAvailable()) return cannotShowPage();

  state.loop = &loop;
  PageScript script;
  RecordedPage page(script, session);
  DialogServices services = DefaultDialogServices();
  services.restartArguments = hosts::RestartArguments(options);
  services.siteOpened = [&session](std::string_view commandLine, bool started) {
    session.recordDesktopStart(commandLine, started);
  };
  int status = 0;
  {
    CCorvaneDlg dialog(loop, page, session, std::move(services));
    hosts::DialogAdapter adapter(dialog);
    hosts::SessionCommands commands(session, dialog);
    ExternalObject external(commands);
    PageClick click([&commands] { commands.openSite(); });
    BrowserSite::Events events;
    events.documentComplete = [&](win32::ComPtr<IDispatch> document) {
      script.documentComplete(ScriptOfDocument(*document.get()));
      click.attach(*document.get());
      dialog.OnDocumentComplete();
      session.pageLoaded();
    };
    bool failed = false;
    events.navigationFailed = [&failed, &loop] {
      failed = true;
      loop.quit();
    };
    BrowserSite site(window.get(), external, std::move(events));
    const auto stop = [&] {
      // Workers are stopped and joined before the window goes, so none posts to it later;
      // the control lets go of window.external and the click handler before they go.
      dialog.close();
      click.detach();
      site.close();
      external.detach();
      script.documentGone();
    };
    if (FAILED(site.create())) {
      stop();
      state.loop = nullptr;
      return cannotShowPage();
    }
    loop.setPreTranslate([&site](MSG& message) { return site.translateAccelerator(message); });
    state.onClose = [&loop] { loop.quit(); };
    // Ends the loop on --exit-when-idle, as closing the window does.
    session.drive(adapter);
    dialog.OnInitDialog();
    site.navigate(PageAddress());
    loop.run();
    loop.setPreTranslate(nullptr);
    state.onClose = nullptr;
    stop();
    if (failed) status = cannotShowPage();
  }
  state.loop = nullptr;
  return status;
}

}  // namespace corvane::windows
