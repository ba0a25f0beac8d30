// Repairs 12 and 16 on the emulated PC (its cache.ini and its Temporary Internet Files), and
// the walk of DeleteCacheEntries against a scripted URL cache.

#include "checks/cache_clearing.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "emulated/scratch_machine.h"
#include "forwarding_platform.h"
#include "platform/emulated/emulated_platform.h"
#include "platform/platform.h"
#include "platform/win_errors.h"

namespace corvane {
namespace {

// An emulated PC with the given cache.ini (empty: the default) as the platform.
class CacheMachine {
 public:
  explicit CacheMachine(std::string_view cacheIni = {}) {
    if (!cacheIni.empty()) std::ofstream(scratch_.folder().root() / "cache.ini") << cacheIni;
    auto platform = std::make_unique<emulated::EmulatedPlatform>(scratch_.folder().root());
    emulated_ = platform.get();
    scoped_ = std::make_unique<ScopedPlatform>(std::move(platform));
  }
  emulated::EmulatedBrowserCache& cache() { return emulated_->emulatedBrowserCache(); }
  const emulated::MachineFolder& folder() const { return scratch_.folder(); }

  // Writes the cache's files and its index.
  void fill(const std::vector<std::pair<std::string, std::string>>& files, std::string_view index) {
    const std::filesystem::path root = cache().cacheFolder();
    if (root.empty()) {
      ADD_FAILURE() << "no cache folder";
      return;
    }
    for (const auto& [name, body] : files) {
      std::filesystem::create_directories((root / name).parent_path());
      std::ofstream(root / name) << body;
    }
    std::ofstream(root / "urlcache.txt") << index;
  }
  std::string index() {
    std::ifstream in(cache().cacheFolder() / "urlcache.txt");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  emulated::ScratchMachine scratch_;
  emulated::EmulatedPlatform* emulated_ = nullptr;
  std::unique_ptr<ScopedPlatform> scoped_;
};

TEST(ClearSslState, TrueOnlyWhenBothCallsAreThereAndSucceed) {
  struct Case {
    const char* name;
    const char* ini;
    bool result;
  };
  const Case cases[] = {
      {"Windows 7", "", true},
      {"schannel without the export",
       "[schannel.dll]\n[wininet.dll]\nIncrementUrlCacheHeaderData = yes\n", false},
      {"no schannel", "[wininet.dll]\nIncrementUrlCacheHeaderData = yes\n", false},
      {"emptying fails",
       "[schannel.dll]\nSslEmptyCacheW = no\n[wininet.dll]\nIncrementUrlCacheHeaderData = yes\n",
       false},
      {"the increment fails (as on Wine)",
       "[schannel.dll]\nSslEmptyCacheW = yes\n[wininet.dll]\nIncrementUrlCacheHeaderData = no\n",
       false},
      {"no wininet", "[schannel.dll]\nSslEmptyCacheW = yes\n", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CacheMachine machine(c.ini);
    EXPECT_EQ(ClearSslState(), c.result);
  }
}

constexpr std::string_view kIndex =
    "https://perbank.marrowby.example/logo.gif\tContent.IE5\\AB12CD34\\logo[1].gif\n"
    "https://perbank.marrowby.example/app.js\tContent.IE5\\AB12CD34\\app[1].js\tlocked\n"
    "Cookie:user@marrowby.example/\t..\\Cookies\\user@marrowby[1].txt\tcookie\n"
    "https://evil.example/x\t..\\..\\..\\..\\..\\..\\Windows\\win.ini\n";

TEST(ClearBrowserCache, WithTheControlPanelsExportTheCommandStartsAndTheCacheIsLeftToIt) {
  CacheMachine machine;
  machine.fill({{"Content.IE5/AB12CD34/logo[1].gif", "gif"}}, kIndex);
  // The command cannot run on the emulated PC (no rundll32): still true.
  EXPECT_TRUE(ClearBrowserCache());
  EXPECT_EQ(machine.index(), kIndex);
}

TEST(ClearBrowserCache, WithoutTheExportEveryNormalEntryIsDeletedItself) {
  for (const char* ini : {"[InetCpl.cpl]\n", "[schannel.dll]\nSslEmptyCacheW = yes\n"}) {
    SCOPED_TRACE(ini);
    CacheMachine machine(ini);
    const std::filesystem::path root = machine.cache().cacheFolder();
    std::filesystem::create_directories(machine.folder().driveC() / "Windows");
    std::ofstream(machine.folder().driveC() / "Windows" / "win.ini") << "[fonts]\n";
    machine.fill({{"Content.IE5/AB12CD34/logo[1].gif", "gif"},
                  {"Content.IE5/AB12CD34/app[1].js", "js"},
                  {"../Cookies/user@marrowby[1].txt", "cookie"}},
                 kIndex);
    EXPECT_TRUE(ClearBrowserCache());
    // The locked entry went after its unlocking; the cookie stays; the entry whose file lies
    // outside the cache loses its line but not the file.
    EXPECT_EQ(machine.index(),
              "Cookie:user@marrowby.example/\t..\\Cookies\\user@marrowby[1].txt\tcookie\n");
    EXPECT_FALSE(std::filesystem::exists(root / "Content.IE5/AB12CD34/logo[1].gif"));
    EXPECT_FALSE(std::filesystem::exists(root / "Content.IE5/AB12CD34/app[1].js"));
    EXPECT_TRUE(std::filesystem::exists(root / "../Cookies/user@marrowby[1].txt"));
    EXPECT_TRUE(std::filesystem::exists(machine.folder().driveC() / "Windows" / "win.ini"));
  }
}

TEST(DeleteCacheEntries, AnEmptyCacheIsDoneAtTheFirstRequest) {
  CacheMachine machine("[schannel.dll]\n");
  EXPECT_TRUE(DeleteCacheEntries());
  machine.fill({}, "# nothing\n");
  EXPECT_TRUE(DeleteCacheEntries());
}

// A URL cache that answers from a script, as a platform whose other services are an
// emulated PC's.
class ScriptedCache final : public BrowserCache {
 public:
  struct Answer {
    std::uint32_t error;
    std::uint32_t size;  // reported, and for a success the size the entry needs
    std::string url;
  };
  std::deque<Answer> firsts, nexts;
  std::vector<std::string> deleted;
  std::vector<std::uint32_t> buffers;  // sizes asked with

  std::unique_ptr<CacheLibrary> LoadCacheLibrary(std::string_view) override { return nullptr; }
  std::uint32_t StartHidden(std::string_view) override { return 2; }
  std::uint32_t FindFirstEntry(std::uint32_t, std::uint32_t& size, UrlCacheEntry& entry,
                               std::unique_ptr<UrlCacheFind>& find) override {
    buffers.push_back(size);
    const std::uint32_t error = Take(firsts, size, entry);
    if (error == 0) find = std::make_unique<UrlCacheFind>();
    return error;
  }
  std::uint32_t FindNextEntry(UrlCacheFind&, std::uint32_t& size, UrlCacheEntry& entry) override {
    buffers.push_back(size);
    return Take(nexts, size, entry);
  }
  std::uint32_t DeleteEntry(std::string_view url) override {
    deleted.emplace_back(url);
    return 0;
  }
  std::uint32_t UnlockEntryFile(std::string_view) override { return 0; }

 private:
  static std::uint32_t Take(std::deque<Answer>& answers, std::uint32_t& size,
                            UrlCacheEntry& entry) {
    if (answers.empty()) return win::kErrorNoMoreItems;
    const Answer answer = answers.front();
    answers.pop_front();
    if (answer.error == 0) {
      EXPECT_GE(size, answer.size) << "an entry handed out in a buffer too small";
      entry.sourceUrl = answer.url;
    } else {
      size = answer.size;
    }
    return answer.error;
  }
};

class ScriptedCachePlatform final : public ForwardingPlatform {
 public:
  explicit ScriptedCachePlatform(const std::filesystem::path& root) : inner_(root) {}
  BrowserCache& browserCache() override { return cache; }
  ScriptedCache cache;

 protected:
  Platform& inner() override { return inner_; }

 private:
  emulated::EmulatedPlatform inner_;
};

TEST(DeleteCacheEntries, TheBufferGrowsForALargerEntryAndOtherFailuresEndTheWalk) {
  constexpr std::uint32_t kShort = win::kErrorInsufficientBuffer;
  struct Case {
    const char* name;
    std::deque<ScriptedCache::Answer> firsts, nexts;
    std::vector<std::string> deleted;
    std::vector<std::uint32_t> buffers;
  };
  const Case cases[] = {
      {"a larger entry later",
       {{kShort, 100, ""}, {0, 100, "a"}},
       {{0, 90, "b"}, {kShort, 300, ""}, {0, 300, "c"}, {win::kErrorNoMoreItems, 0, ""}},
       {"a", "b", "c"},
       {0, 100, 100, 100, 300, 300}},
      {"a failure of another kind ends the walk",
       {{kShort, 100, ""}, {0, 100, "a"}},
       {{win::kErrorInvalidParameter, 0, ""}, {0, 100, "never"}},
       {"a"},
       {0, 100, 100}},
      {"a short buffer report that is no larger ends the walk",
       {{kShort, 100, ""}, {0, 100, "a"}},
       {{kShort, 100, ""}, {0, 100, "never"}},
       {"a"},
       {0, 100, 100}},
      {"a failed second first request is an empty cache (as on Wine)",
       {{win::kErrorFileNotFound, 0, ""}, {win::kErrorFileNotFound, 0, ""}},
       {},
       {},
       {0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    emulated::ScratchMachine scratch;
    auto owned = std::make_unique<ScriptedCachePlatform>(scratch.folder().root());
    ScriptedCache& cache = owned->cache;
    ScopedPlatform platform(std::move(owned));
    cache.firsts = c.firsts;
    cache.nexts = c.nexts;
    EXPECT_TRUE(DeleteCacheEntries());
    EXPECT_EQ(cache.deleted, c.deleted);
    EXPECT_EQ(cache.buffers, c.buffers);
  }
}

}  // namespace
}  // namespace corvane
