// One whole check sequence of the dialog, every check and the component pass real, on a new
// emulated PC with the built-in configuration, on virtual time: the timers cost nothing, so
// the real time a sequence takes is the checks' own work. Reported per sequence:
//   own_ms       the real time of the sequence (checks, component pass, workers waited for)
//   floor_ms     the virtual time the sequence's timers span, which a user waits anyway
//   own_percent  own_ms against floor_ms; the target is under 5 %
//   first_call_us  from the dialog's creation to its first call into the page
//   peak_heap_kib  the most heap the sequence held above its start
// There is no library doing this work to compare with: the yardstick is the timer floor.

#include <benchmark/benchmark.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/corvane_dlg.h"
#include "app/page_host.h"
#include "app/root_certificate_prompt.h"
#include "app/virtual_event_loop.h"
#include "config/parse_check_config.h"
#include "emulated/scratch_machine.h"
#include "heap_counter.h"
#include "platform/emulated/emulated_platform.h"
#include "platform/platform.h"
#include "ui/prompts.h"

namespace {

using Clock = std::chrono::steady_clock;

class FirstCallPage final : public corvane::PageHost {
 public:
  corvane::win::HResult callScript(std::string_view /*name*/,
                                   const std::vector<corvane::ScriptArg>& /*args*/) override {
    if (!first) first = Clock::now();
    ++calls;
    return corvane::win::kSOk;
  }
  std::optional<Clock::time_point> first;
  int calls = 0;
};

// Declines every question, as a user who only looks would: nothing is changed on the PC.
class Declining final : public corvane::PromptHost {
 public:
  int show(const corvane::Prompt& /*prompt*/) override { return corvane::kIdNo; }
};

corvane::CheckConfig BuiltInConfig() {
  std::ifstream in(CORVANE_BUILT_IN_ITEM_XML, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  corvane::CheckConfig config;
  if (!corvane::ParseCheckConfig(config, text.str())) std::abort();
  config.configLoaded = true;
  return config;
}

void Sequence(benchmark::State& state) {
  corvane::emulated::ScratchMachine machine;
  const corvane::ScopedPlatform platform(
      std::make_unique<corvane::emulated::EmulatedPlatform>(machine.folder().root()));
  const corvane::CheckConfig config = BuiltInConfig();
  Declining prompts;
  const corvane::RootCertificateConfirmationHook confirmation(prompts);

  double ownMs = 0;
  double floorMs = 0;
  double firstCallUs = 0;
  std::size_t peakHeap = 0;
  int calls = 0;
  for (auto _ : state) {
    const heap::Scope heapScope;
    const Clock::time_point start = Clock::now();
    corvane::VirtualEventLoop loop;
    FirstCallPage page;
    corvane::DialogServices services = corvane::DefaultDialogServices();
    services.startWorker = loop.starter();
    // The configuration as the built-in file gives it: its download is the network's time,
    // not the checks'.
    services.acquireConfig = [&config](corvane::PromptHost&, std::stop_token) {
      corvane::AcquiredConfig acquired;
      acquired.model = config;
      return acquired;
    };
    corvane::CCorvaneDlg dialog(loop, page, prompts, services);
    dialog.OnInitDialog();
    dialog.OnDocumentComplete();
    if (!loop.runUntilIdle()) state.SkipWithError("the sequence never settled");
    ownMs += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    floorMs += static_cast<double>(loop.nowMs());
    if (page.first) {
      firstCallUs += std::chrono::duration<double, std::micro>(*page.first - start).count();
    }
    peakHeap = std::max(peakHeap, heapScope.Peak());
    calls = page.calls;
  }
  const auto n = static_cast<double>(state.iterations());
  state.counters["own_ms"] = ownMs / n;
  state.counters["floor_ms"] = floorMs / n;
  state.counters["own_percent"] = floorMs > 0 ? 100.0 * ownMs / floorMs : 0;
  state.counters["first_call_us"] = firstCallUs / n;
  state.counters["peak_heap_kib"] = static_cast<double>(peakHeap) / 1024.0;
  state.SetLabel(std::to_string(calls) + " page calls");
}
BENCHMARK(Sequence)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
