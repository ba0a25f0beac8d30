#pragma once

// A page that records the script calls, prompts that answer from a script, and a dialog on
// virtual time with services the tests control.

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "app/corvane_dlg.h"
#include "app/page_host.h"
#include "app/root_certificate_prompt.h"
#include "app/virtual_event_loop.h"
#include "app_test_platform.h"
#include "ui/prompts.h"

namespace corvane::testing {

// "setState(0,2,1002)", "setState(1,8,'0')", "clearState(800,2)".
inline std::string FormatCall(std::string_view name, const std::vector<ScriptArg>& args) {
  std::string text(name);
  text += "(";
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (i != 0) text += ",";
    if (const auto* n = std::get_if<std::int32_t>(&args[i])) {
      text += std::to_string(*n);
    } else {
      text += "'" + std::get<std::string>(args[i]) + "'";
    }
  }
  return text + ")";
}

class RecordingPage final : public PageHost {
 public:
  win::HResult callScript(std::string_view name, const std::vector<ScriptArg>& args) override {
    calls.push_back(FormatCall(name, args));
    if (onCall) onCall(calls.back());
    return win::kSOk;
  }

  // The setState calls only.
  [[nodiscard]] std::vector<std::string> states() const {
    std::vector<std::string> out;
    for (const auto& call : calls) {
      if (call.starts_with("setState")) out.push_back(call);
    }
    return out;
  }

  std::vector<std::string> calls;
  std::function<void(const std::string&)> onCall;
};

class ScriptedPrompts final : public PromptHost {
 public:
  int show(const Prompt& prompt) override {
    shown.push_back(prompt);
    return answer;
  }
  int answer = kIdYes;
  std::vector<Prompt> shown;
};

// A configuration with one item of each of the given states.
inline CheckConfig FixtureConfig(std::vector<ComponentState> states) {
  CheckConfig config;
  config.configLoaded = true;
  config.base = "https://update.example/";
  const char* types[] = {"SafeActiveX", "SignActiveX", "UkeyActiveX", "driver"};
  for (std::size_t i = 0; i < states.size(); ++i) {
    CheckItem item;
    item.name = "item" + std::to_string(i + 1);
    item.type = types[i % 4];
    item.state = states[i];
    // Detection on the scratch PC finds what the state says: a missing class with an
    // installer is 5; an entry without rules is installed (0).
    const ComponentState code = states[i] & 0x3FFFFFFFU;
    if (code == 4 || code == 5) {
      item.detects.push_back({"{00000000-0000-0000-0000-0000000000A1}", "clsid"});
    }
    if (code == 5 || code == 2) {
      item.installers.push_back({config.base + "setup.exe", "%1", "C:\\setup.exe", ""});
    }
    config.items.push_back(item);
  }
  return config;
}

struct DialogRig {
  // A scratch PC of the test's own natively, so what the checks find does not depend on the
  // developer's default machine.
  ScopedPlatform platform{std::make_unique<TestPlatform>()};
  VirtualEventLoop loop;
  RecordingPage page;
  ScriptedPrompts prompts;
  // As the hosts do: the emulated PC asks before adding a root certificate.
  RootCertificateConfirmationHook rootConfirmation{prompts};
  bool online = true;
  bool serviceAnswers = true;
  CheckConfig served = FixtureConfig({5, 5});
  std::atomic<int> acquisitions{0};
  std::atomic<int> probes{0};
  DialogServices services = DefaultDialogServices();
  std::unique_ptr<CCorvaneDlg> dialog;

  DialogRig() {
    services.startWorker = loop.starter();
    services.internetConnected = [this] { return online; };
    services.acquireConfig = [this](PromptHost&, std::stop_token) {
      ++acquisitions;
      AcquiredConfig acquired;
      acquired.model = served;
      acquired.fromServer = true;
      acquired.serverConfigApplied = true;
      return acquired;
    };
    services.probeServices = [this](CheckConfig& config, std::stop_token /*stop*/) {
      ++probes;
      config.serviceOk = serviceAnswers;
      config.serviceProbeDone = true;
      return serviceAnswers ? 1 : 0;
    };
    services.checkForUpdate = [](const CheckConfig&, std::stop_token) {
      return UpdateOutcome::kRunChecks;
    };
  }

  CCorvaneDlg& make() {
    dialog = std::make_unique<CCorvaneDlg>(loop, page, prompts, services);
    return *dialog;
  }

  // Start-up to the idle dialog.
  CCorvaneDlg& start() {
    make();
    dialog->OnInitDialog();
    dialog->OnDocumentComplete();
    loop.runUntilIdle();
    return *dialog;
  }
};

}  // namespace corvane::testing
