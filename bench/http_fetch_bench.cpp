// Download throughput of HttpFetch::FetchToFile against curl's command-line tool, both
// fetching the same https URL from the local bank server on loopback into a file in the same
// run, and the peak memory of a download of 256 MiB and of 1 GiB. The table's columns carry
// the figures: bytes_per_second is FetchToFile's, curl_MBps curl's, ratio FetchToFile's rate
// over curl's, and the process's resident set before and at its peak during the downloads.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "bank/bank_values.h"
#include "bank_server.h"
#include "emulated/scratch_machine.h"
#include "platform/emulated/emulated_platform.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "support/http_fetch.h"

namespace {

using namespace corvane;

constexpr std::uint64_t kMiB = 1024ULL * 1024ULL;

std::string PathFor(std::uint64_t size) { return "/bench/" + std::to_string(size / kMiB) + "m"; }
std::string UrlOf(std::string_view path) {
  return "https://" + std::string(bank::kPersonalHost) + std::string(path);
}

// The server, a scratch PC whose network.ini leads the bank's host to it, and that PC as the
// platform; curl gets the same routing on its command line.
struct Rig {
  testing::BankServer server;
  emulated::ScratchMachine machine;
  std::unique_ptr<ScopedPlatform> platform;
  std::filesystem::path caFile = machine.folder().root() / "bench-ca.pem";
  std::filesystem::path curlOut = machine.folder().root() / "curl.bin";

  Rig() {
    server.WriteNetworkIni(machine.folder().root());
    std::ofstream(caFile) << server.caPem();
    for (const std::uint64_t size : {256 * kMiB, 1024 * kMiB}) {
      server.ServePattern(PathFor(size), size);
    }
    server.ServePattern("/bench/warm-up", kMiB);
    platform = std::make_unique<ScopedPlatform>(
        std::make_unique<emulated::EmulatedPlatform>(machine.folder().root()));
    // One download first, so that one-time costs (TLS libraries, the CA store) are not
    // counted as the memory of the first measured size.
    HttpFetch fetch;
    (void)fetch.FetchToFile(UrlOf("/bench/warm-up"), R"(C:\warm-up.bin)", nullptr);
  }

  [[nodiscard]] std::string CurlCommand(std::uint64_t size) const {
    return "curl -s -f -o '" + curlOut.string() + "' --cacert '" + caFile.string() +
           "' --connect-to " + std::string(bank::kPersonalHost) +
           ":443:127.0.0.1:" + std::to_string(server.port()) + " '" + UrlOf(PathFor(size)) + "'";
  }
};

Rig& TheRig() {
  static Rig rig;
  return rig;
}

// The process's peak resident set since the last reset (Linux: VmHWM, reset by writing 5 to
// clear_refs) and its current one, in KiB.
void ResetPeakRss() { std::ofstream("/proc/self/clear_refs") << "5"; }
std::uint64_t ReadStatusKb(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0) {
      std::istringstream in(line.substr(field.size() + 1));
      std::uint64_t kb = 0;
      in >> kb;
      return kb;
    }
  }
  return 0;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Each iteration downloads the body once with FetchToFile and once with curl, one right after
// the other, so that both meet the same load on a busy machine. The time reported is
// FetchToFile's; curl's rate and the ratio are counters.
void BM_FetchToFileVsCurl(benchmark::State& state) {
  Rig& rig = TheRig();
  const auto size = static_cast<std::uint64_t>(state.range(0)) * kMiB;
  const std::string target = R"(C:\bench.bin)";
  const std::string url = UrlOf(PathFor(size));
  const std::string command = rig.CurlCommand(size);
  double ours = 0;
  double curl = 0;
  const std::uint64_t rssBefore = ReadStatusKb("VmRSS");
  ResetPeakRss();
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    {
      HttpFetch fetch;
      if (fetch.FetchToFile(url, target, nullptr) != size) {
        state.SkipWithError("download failed");
        break;
      }
    }
    const double oursNow = SecondsSince(start);
    ours += oursNow;
    state.SetIterationTime(oursNow);
    (void)CurrentPlatform().files().deleteFile(target);

    start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0 || std::filesystem::file_size(rig.curlOut) != size) {
      state.SkipWithError("curl failed");
      break;
    }
    curl += SecondsSince(start);
    std::filesystem::remove(rig.curlOut);
  }
  const double total = static_cast<double>(state.iterations() * size);
  state.SetBytesProcessed(static_cast<std::int64_t>(total));
  state.counters["curl_MBps"] = curl > 0 ? total / curl / 1e6 : 0;
  state.counters["ratio"] = ours > 0 && curl > 0 ? curl / ours : 0;
  // curl runs in a child process: this process's peak is FetchToFile's (and the server's).
  state.counters["rss_before_KiB"] = static_cast<double>(rssBefore);
  state.counters["peak_rss_KiB"] = static_cast<double>(ReadStatusKb("VmHWM"));
}

BENCHMARK(BM_FetchToFileVsCurl)
    ->Arg(256)
    ->Arg(1024)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!TheRig().server.error().empty()) {
    std::fprintf(stderr, "bank server: %s\n", TheRig().server.error().c_str());
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
