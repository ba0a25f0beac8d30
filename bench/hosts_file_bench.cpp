// CheckHostsFile in check mode on a 150,000-line hosts file (about 7 MB) with two
// configured hosts, against the first formulation of the same check (std::regex, ECMAScript,
// case-insensitive search after making CR LF into LF) on the same file in the same run.
// Prints the ratio and the heap peak of each per byte of the file.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <new>
#include <regex>
#include <string>
#include <vector>

#include "checks/environment_checks.h"
#include "config/check_config.h"
#include "emulated/scratch_machine.h"
#include "heap_counter.h"
#include "platform/emulated/emulated_platform.h"
#include "platform/file_system.h"
#include "platform/platform.h"

namespace {

constexpr const char* kHostsPath = R"(C:\Windows\System32\drivers\etc\hosts)";
constexpr int kLines = 150000;

// Lines as ad-blocking hosts files have them: an address, blanks or a tab, a name, now and
// then a comment; CR LF. None maps the configured hosts, so both must read it all.
std::string HostsText() {
  std::string text = "# blocked hosts\r\n";
  for (int n = 0; n < kLines; ++n) {
    const std::string id = std::to_string(n);
    text += (n % 3 == 0 ? "0.0.0.0\t" : "127.0.0.1   ") + std::string("ads-") + id +
            ".tracker-network.example" + (n % 5 == 0 ? "  # list " + id : "") + "\r\n";
  }
  return text;
}

struct Fixture {
  corvane::emulated::ScratchMachine machine;
  std::unique_ptr<corvane::ScopedPlatform> platform;
  corvane::CheckConfig config;
  std::size_t size = 0;

  Fixture() {
    platform = std::make_unique<corvane::ScopedPlatform>(
        std::make_unique<corvane::emulated::EmulatedPlatform>(machine.folder().root()));
    const std::string text = HostsText();
    size = text.size();
    (void)corvane::CurrentPlatform().files().writeFile(kHostsPath, text);
    corvane::ConfigEntry personal;
    personal.text = "perbank.marrowby.example";
    corvane::ConfigEntry corporate;
    corporate.text = "corbank.marrowby.example";
    config.sections.push_back({"host", {personal, corporate}});
  }
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

// The first formulation, read the same way (the whole file into a string).
bool RegexCheck(const std::vector<std::string>& hosts) {
  std::string text;
  (void)corvane::CurrentPlatform().files().readFile(kHostsPath, text);
  text = std::regex_replace(text, std::regex("\r\n"), "\n");
  text += '\n';
  if (text.front() != '\n') text.insert(text.begin(), '\n');
  for (const std::string& host : hosts) {
    const std::string escaped = std::regex_replace(host, std::regex("\\."), "\\.");
    const std::regex pattern("\n[\\s\\d\\.]+" + escaped + "\\s*(\n|#.+\n)",
                             std::regex::ECMAScript | std::regex::icase);
    if (std::regex_search(text, pattern)) return false;
  }
  return true;
}

double g_corvaneSeconds = 0;  // NOLINT: figures handed from the runs to the summary
double g_regexSeconds = 0;    // NOLINT
double g_corvanePeak = 0;     // NOLINT
double g_regexPeak = 0;       // NOLINT

void BM_CheckHostsFile(benchmark::State& state) {
  Fixture& fixture = Shared();
  for (auto _ : state) {
    const heap::Scope scope;
    const bool ok = corvane::CheckHostsFile(fixture.config, false);
    benchmark::DoNotOptimize(ok);
    if (!ok) state.SkipWithError("a mapping was found");
    g_corvanePeak = static_cast<double>(scope.Peak()) / static_cast<double>(fixture.size);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fixture.size));
  state.counters["heap_peak_per_byte"] = g_corvanePeak;
}

void BM_RegexFormulation(benchmark::State& state) {
  Fixture& fixture = Shared();
  const std::vector<std::string> hosts{"perbank.marrowby.example", "corbank.marrowby.example"};
  for (auto _ : state) {
    const heap::Scope scope;
    const bool ok = RegexCheck(hosts);
    benchmark::DoNotOptimize(ok);
    g_regexPeak = static_cast<double>(scope.Peak()) / static_cast<double>(fixture.size);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fixture.size));
  state.counters["heap_peak_per_byte"] = g_regexPeak;
}

class Collector : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const double seconds =
          run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
      if (run.benchmark_name().find("CheckHostsFile") != std::string::npos) {
        g_corvaneSeconds = seconds;
      } else if (run.benchmark_name().find("Regex") != std::string::npos) {
        g_regexSeconds = seconds;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

BENCHMARK(BM_CheckHostsFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RegexFormulation)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Collector reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  if (g_corvaneSeconds > 0 && g_regexSeconds > 0) {
    std::printf(
        "hosts file of %zu bytes: CheckHostsFile %.2f ms, std::regex %.1f ms, %.0fx faster\n",
        Shared().size, g_corvaneSeconds * 1e3, g_regexSeconds * 1e3,
        g_regexSeconds / g_corvaneSeconds);
    std::printf("heap peak per byte of the file: CheckHostsFile %.2f, std::regex %.2f\n",
                g_corvanePeak, g_regexPeak);
  }
  return 0;
}
