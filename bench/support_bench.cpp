// Throughput and memory of the XML reader against pugixml and of MD5 against OpenSSL, on
// the same inputs in the same run. Prints the ratios after Google Benchmark's table.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <pugixml.hpp>
#include <random>
#include <string>
#include <vector>

#include "heap_counter.h"
#include "support/md5.h"
#include "support/xml_document.h"

namespace {

// A configuration document like the bank's: sections of registry and name entries, then
// items with detection rules, installers and files, repeated until `size` bytes.
std::string ConfigLikeDocument(std::size_t size) {
  std::string text =
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
      "<checkitems base=\"https://update.marrowby.example/perbank/download/\">\r\n";
  for (int n = 0; text.size() < size; ++n) {
    const std::string id = std::to_string(n);
    text +=
        "  <config type=\"registry\">\r\n"
        "    <entry name=\"DisableFirstRunCustomize" +
        id +
        "\" type=\"REG_DWORD\" value=\"1\" mask=\"\">HKEY_CURRENT_USER\\Software\\Policies\\"
        "Microsoft\\Internet Explorer\\Main</entry>\r\n"
        "    <entry name=\"Homepage\" type=\"REG_SZ\" value=\"https://e.marrowby.example/&amp;x"
        "\" mask=\"\">HKEY_LOCAL_MACHINE\\Software\\Policies\\Microsoft\\Control Panel</entry>\r\n"
        "  </config>\r\n"
        "  <config type=\"dns\"><entry name=\"e.marrowby.example\" ip=\"203.0.113." +
        id +
        "\">e.marrowby.example</entry></config>\r\n"
        "  <item name=\"\xE5\xAF\x86\xE7\xA0\x81\xE6\x8E\xA7\xE4\xBB\xB6 " +
        id +
        "\" type=\"SafeActiveX\" tips=\"&#x8BF7;&#x5B89;&#x88C5;\" image=\"\" class=\"\" "
        "selectedid=\"0\">\r\n"
        "    <detect type=\"clsid\">{6A0C4E2B-35A1-4C56-9C0B-" +
        id +
        "}</detect>\r\n"
        "    <installer command=\"%1 /S\" md5=\"\">PassGuard" +
        id +
        ".exe</installer>\r\n"
        "    <file local=\"%windir%\\system32\\pg" +
        id +
        ".dll\" remote=\"pg.dll\" "
        "version=\"1.0.0." +
        id +
        "\" md5=\"d41d8cd98f00b204e9800998ecf8427e\" "
        "install=\"regserver\"/>\r\n"
        "  </item>\r\n";
  }
  text +=
      "  <appinfo version=\"1.0.0.2\" remote=\"https://update.marrowby.example/c.exe\"/>\r\n"
      "</checkitems>\r\n";
  return text;
}

const std::string& Document(std::int64_t megabytes) {
  static std::map<std::int64_t, std::string> documents;  // NOLINT: built once per size
  auto [it, added] = documents.try_emplace(megabytes);
  if (added) it->second = ConfigLikeDocument(static_cast<std::size_t>(megabytes) << 20U);
  return it->second;
}

void BM_XmlDocument_SetText(benchmark::State& state) {
  const std::string& text = Document(state.range(0));
  std::size_t peak = 0;
  std::size_t index = 0;
  for (auto _ : state) {
    corvane::XmlDocument doc;
    heap::Scope scope;
    const bool ok = doc.SetText(text);
    peak = std::max(peak, scope.Peak());
    index = doc.IndexBytes();
    if (!ok) state.SkipWithError("document not well-formed");
    benchmark::DoNotOptimize(doc);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  // Peak heap of the parse without the copy of the text it keeps, per byte of text.
  state.counters["peak_B_per_B"] =
      static_cast<double>(peak - std::min(peak, text.size())) / static_cast<double>(text.size());
  state.counters["index_B_per_B"] = static_cast<double>(index) / static_cast<double>(text.size());
}

void* PugiAllocate(std::size_t size) { return heap::Allocate(size); }
void PugiDeallocate(void* p) { heap::Release(p); }

void BM_Pugixml_LoadBuffer(benchmark::State& state) {
  const std::string& text = Document(state.range(0));
  pugi::set_memory_management_functions(PugiAllocate, PugiDeallocate);
  std::size_t peak = 0;
  for (auto _ : state) {
    pugi::xml_document doc;
    heap::Scope scope;
    const pugi::xml_parse_result ok = doc.load_buffer(text.data(), text.size());
    peak = std::max(peak, scope.Peak());
    if (!ok) state.SkipWithError("pugixml refused the document");
    benchmark::DoNotOptimize(doc);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  // pugixml copies the text too; its copy is part of its peak.
  state.counters["peak_B_per_B"] =
      static_cast<double>(peak - std::min(peak, text.size())) / static_cast<double>(text.size());
}

const std::vector<unsigned char>& Md5Input() {
  static const std::vector<unsigned char> data = [] {  // NOLINT: built once
    std::vector<unsigned char> bytes(64U << 20U);
    std::mt19937 random(1);
    for (unsigned char& b : bytes) b = static_cast<unsigned char>(random());
    return bytes;
  }();
  return data;
}

void BM_Md5Context(benchmark::State& state) {
  const std::vector<unsigned char>& data = Md5Input();
  for (auto _ : state) {
    corvane::Md5Context context;
    context.Update(data.data(), data.size());
    context.Final();
    benchmark::DoNotOptimize(context.digest);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

void BM_OpenSSL_MD5(benchmark::State& state) {
  const std::vector<unsigned char>& data = Md5Input();
  for (auto _ : state) {
    unsigned char digest[EVP_MAX_MD_SIZE];  // NOLINT
    unsigned int length = 0;
    EVP_Digest(data.data(), data.size(), digest, &length, EVP_md5(), nullptr);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

BENCHMARK(BM_XmlDocument_SetText)->Arg(1)->Arg(50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pugixml_LoadBuffer)->Arg(1)->Arg(50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Md5Context)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenSSL_MD5)->Unit(benchmark::kMillisecond);

// Keeps the console table and remembers throughputs for the ratios printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const auto it = run.counters.find("bytes_per_second");
      if (it != run.counters.end()) rates_[run.benchmark_name()] = it->second.value;
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    Ratio("XML 1 MB", "BM_XmlDocument_SetText/1", "BM_Pugixml_LoadBuffer/1");
    Ratio("XML 50 MB", "BM_XmlDocument_SetText/50", "BM_Pugixml_LoadBuffer/50");
    Ratio("MD5 64 MiB", "BM_Md5Context", "BM_OpenSSL_MD5");
  }

 private:
  void Ratio(const char* what, const std::string& ours, const std::string& theirs) {
    if (rates_.count(ours) == 0 || rates_.count(theirs) == 0) return;
    const double a = rates_[ours] / 1e6;
    const double b = rates_[theirs] / 1e6;
    std::printf("%-11s corvane %8.1f MB/s  baseline %8.1f MB/s  ratio %.2f\n", what, a, b, a / b);
  }
  std::map<std::string, double> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
