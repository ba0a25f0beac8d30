// The component pass (detection of every item and component, then the rows) of the built-in
// configuration on a new emulated PC, alone and with 20 "usbkey" rules added, each of which
// enumerates the attached devices. The check sequence's timers are 100 ms apart and poll at
// 300 ms; the pass should stay under 5 % of its 1.5 s floor (75 ms).

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "components/component_report.h"
#include "config/parse_check_config.h"
#include "emulated/scratch_machine.h"
#include "platform/emulated/emulated_platform.h"
#include "platform/platform.h"

namespace {

struct Machine {
  corvane::emulated::ScratchMachine machine;
  std::unique_ptr<corvane::ScopedPlatform> platform;
  corvane::CheckConfig config;

  explicit Machine(int usbRules) {
    platform = std::make_unique<corvane::ScopedPlatform>(
        std::make_unique<corvane::emulated::EmulatedPlatform>(machine.folder().root()));
    std::ifstream in(CORVANE_BUILT_IN_ITEM_XML, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    if (!corvane::ParseCheckConfig(config, text.str())) std::abort();
    // A PC with a few devices, none of them a listed key.
    std::ofstream(machine.folder().root() / "usb.ini") << "1d6b:0002 hub\n046d:c52b\n8087:0024\n";
    for (int i = 0; i < usbRules; ++i) {
      corvane::CheckItem item;
      item.name = "key" + std::to_string(i);
      item.type = "UkeyActiveX";
      item.detects.push_back(
          {"0x096E07" + std::to_string(10 + i) + ",0x0A8901" + std::to_string(10 + i), "usbkey"});
      config.items.push_back(item);
    }
  }
};

void Pass(benchmark::State& state) {
  Machine m(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    corvane::DetectComponents(m.config.items);
    corvane::DetectComponents(m.config.components);
    std::array<bool, 4> unreported{};
    unreported.fill(true);
    corvane::PageStates states;
    for (std::int32_t n = 1; n <= static_cast<std::int32_t>(m.config.items.size()); ++n) {
      const corvane::PageStates row = corvane::ComponentStates(m.config, true, unreported, n);
      states.insert(states.end(), row.begin(), row.end());
    }
    benchmark::DoNotOptimize(states);
  }
  state.SetLabel(std::to_string(m.config.items.size()) + " items");
}
BENCHMARK(Pass)->Arg(0)->Arg(20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
