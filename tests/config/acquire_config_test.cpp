#include "config/acquire_config.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "app/app_test_platform.h"
#include "bank/bank_values.h"
#include "config/config_cache.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/win_errors.h"
#include "support/fake_network.h"
#include "support/scratch_folder.h"
#include "ui/prompts.h"

#if !defined(_WIN32)
#include "bank_server.h"
#include "platform/emulated/emulated_network.h"
#include "platform/emulated/scratch_machine.h"
#include "test_time.h"
#endif

namespace corvane {
namespace {

using testing::FakeNetwork;
using testing::OkAnswer;
using testing::ScriptedAnswer;

std::string Document(std::string_view version) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<checkitems>\r\n  <appinfo version=\"" +
         std::string(version) + "\" remote=\"http://update.marrowby.example/Corvane.exe\"/>\r\n" +
         "</checkitems>\r\n";
}

constexpr std::string_view kBuiltInVersion = "1.0.0.0";

// Answers every prompt alike and keeps what it was shown.
class ScriptedPrompts final : public PromptHost {
 public:
  int show(const Prompt& prompt) override {
    shown.push_back(prompt);
    return answer;
  }
  int answer = kIdYes;
  std::vector<Prompt> shown;
};

ScriptedAnswer Offline() {
  ScriptedAnswer answer;
  answer.openError = win::kErrorInternetNameNotResolved;
  return answer;
}

ScriptedAnswer NotFound() {
  ScriptedAnswer answer;
  answer.status = 404;
  answer.body = "not here";
  answer.contentLength = answer.body.size();
  return answer;
}

// Each test runs on its own machine with a scripted network, in a scratch folder as the
// current directory.
class AcquireConfigTest : public ::testing::Test {
 protected:
  AcquireConfigTest()
      : installed_(MakePlatform(network_)),
        folder_("corvane-acquire-test"),
        previous_(CurrentPlatform().environment().currentDirectory()) {
    EXPECT_EQ(CurrentPlatform().environment().setCurrentDirectory(folder_.path()),
              win::kErrorSuccess);
  }
  ~AcquireConfigTest() override {
    (void)CurrentPlatform().environment().setCurrentDirectory(previous_);
  }

  static std::unique_ptr<Platform> MakePlatform(FakeNetwork& network) {
    auto platform = std::make_unique<testing::TestPlatform>();
    platform->networkOverride = &network;
    return platform;
  }

  std::optional<std::string> cachedText() const {
    if (!CurrentPlatform().files().exists(folder_.at("item.xml"))) return std::nullopt;
    return LoadConfigCache();
  }

  FakeNetwork network_;
  ScopedPlatform installed_;
  testing::ScratchFolder folder_;
  std::string previous_;
  ScriptedPrompts prompts_;
};

TEST_F(AcquireConfigTest, SourcesInOrderOfPreference) {
  struct Case {
    const char* name;
    ScriptedAnswer server;
    std::optional<std::string> cacheFileBytes;  // raw bytes of ./item.xml before the run
    bool prompted;
    bool fromServer;
    std::string_view version;               // of the model in use
    std::optional<std::string> cacheAfter;  // the local copy's text after the run
  };
  const std::string cached = Document("3.0.0.0");
  std::string scrambledCache = cached;
  ScrambleText(scrambledCache);
  const std::string served = Document("2.0.0.0");
  ScriptedAnswer garbage = OkAnswer("<html><body>maintenance</body></html>");
  ScriptedAnswer empty = OkAnswer("");

  const std::vector<Case> cases = {
      {"server answers", OkAnswer(served), std::nullopt, false, true, "2.0.0.0", served},
      {"server answers over a cached copy", OkAnswer(served), scrambledCache, false, true,
       "2.0.0.0", served},
      {"first start offline", Offline(), std::nullopt, true, false, kBuiltInVersion, std::nullopt},
      {"offline with a cached copy", Offline(), scrambledCache, true, false, "3.0.0.0", cached},
      {"server answers 404", NotFound(), scrambledCache, true, false, "3.0.0.0", cached},
      {"server answers 404, nothing cached", NotFound(), std::nullopt, true, false, kBuiltInVersion,
       std::nullopt},
      {"server answers something else", garbage, scrambledCache, true, false, "3.0.0.0", cached},
      {"server answers something else, nothing cached", garbage, std::nullopt, true, false,
       kBuiltInVersion, std::nullopt},
      {"server answers an empty body", empty, scrambledCache, true, false, "3.0.0.0", cached},
      // The copy was not written by us (plain text): it decodes to garbage.
      {"garbled copy", Offline(), cached, true, false, kBuiltInVersion, std::nullopt},
      {"empty copy", Offline(), std::string(), true, false, kBuiltInVersion, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    network_.answer = c.server;
    network_.opens.clear();
    prompts_.shown.clear();
    FileSystem& files = CurrentPlatform().files();
    (void)files.setAttributes(folder_.at("item.xml"), win::kFileAttributeNormal);
    (void)files.deleteFile(folder_.at("item.xml"));
    if (c.cacheFileBytes) {
      ASSERT_EQ(files.writeFile(folder_.at("item.xml"), *c.cacheFileBytes), win::kErrorSuccess);
    }

    const AcquiredConfig acquired = AcquireConfig(prompts_, std::stop_token());

    ASSERT_EQ(network_.opens.size(), 1U);
    EXPECT_EQ(network_.opens[0].url, bank::kConfigUrl);
    ASSERT_EQ(prompts_.shown.size(), c.prompted ? 1U : 0U);
    if (c.prompted) {
      EXPECT_EQ(prompts_.shown[0].stringIds, (std::vector<int>{155, 146}));
      EXPECT_FALSE(prompts_.shown[0].choice);
    }
    EXPECT_TRUE(acquired.model.configLoaded);
    EXPECT_EQ(acquired.model.appInfo.version, c.version);
    EXPECT_EQ(acquired.fromServer, c.fromServer);
    EXPECT_EQ(acquired.serverConfigApplied, std::optional<bool>(c.fromServer));
    if (c.cacheAfter && !c.cacheAfter->empty()) {
      EXPECT_EQ(cachedText(), c.cacheAfter);
    } else if (!c.cacheAfter) {
      // Either no copy, or the garbled one left as it was; never the server's answer.
      EXPECT_NE(cachedText(), std::optional<std::string>(served));
    }
  }
}

TEST_F(AcquireConfigTest, OfflineAfterAnOnlineStartUsesTheCopyNotTheBuiltInOne) {
  network_.answer = OkAnswer(Document("2.0.0.0"));
  ASSERT_TRUE(AcquireConfig(prompts_, std::stop_token()).fromServer);

  network_.answer = Offline();
  const AcquiredConfig acquired = AcquireConfig(prompts_, std::stop_token());
  EXPECT_EQ(prompts_.shown.size(), 1U);
  EXPECT_EQ(acquired.model.appInfo.version, "2.0.0.0");
  EXPECT_FALSE(acquired.fromServer);
  EXPECT_EQ(acquired.serverConfigApplied, false);
  std::uint32_t attributes = 0;
  ASSERT_EQ(CurrentPlatform().files().attributes(folder_.at("item.xml"), attributes),
            win::kErrorSuccess);
  EXPECT_EQ(attributes & 0x7U, win::kFileAttributeHidden);
}

TEST_F(AcquireConfigTest, AfterStopNothingIsShownOrParsed) {
  network_.answer = Offline();
  std::stop_source stop;
  stop.request_stop();
  const AcquiredConfig acquired = AcquireConfig(prompts_, stop.get_token());
  EXPECT_TRUE(prompts_.shown.empty());
  EXPECT_FALSE(acquired.model.configLoaded);
  EXPECT_FALSE(acquired.serverConfigApplied.has_value());
}

}  // namespace
}  // namespace corvane

#if !defined(_WIN32)
namespace corvane {
namespace {

// From the local bank server through the emulated PC's real network and TLS.
TEST(AcquireConfigServerTest, TheBanksDocumentIsFetchedOnceAndCached) {
  testing::BankServer server;
  ASSERT_EQ(server.error(), "");
  server.Serve(bank::kConfigPath, Document("4.0.0.0"));
  const emulated::ScratchMachine machine;
  ASSERT_TRUE(server.WriteNetworkIni(machine.folder().root()));
  emulated::EmulatedNetwork network(machine.folder(), true);
  auto platform = std::make_unique<testing::TestPlatform>();
  platform->networkOverride = &network;
  const ScopedPlatform installed(std::move(platform));
  ScriptedPrompts prompts;

  const AcquiredConfig acquired = AcquireConfig(prompts, std::stop_token());
  EXPECT_TRUE(prompts.shown.empty());
  EXPECT_TRUE(acquired.fromServer);
  EXPECT_EQ(acquired.model.appInfo.version, "4.0.0.0");
  EXPECT_EQ(server.requestCount(bank::kConfigPath), 1);
  EXPECT_EQ(LoadConfigCache(), Document("4.0.0.0"));
}

// Closing the window while the bank's server holds the download: the stop reaches the
// download itself, so the worker ends at once instead of after the network's time-outs, and
// shows nothing.
TEST(AcquireConfigServerTest, AStopEndsAStalledDownloadWithinASecond) {
  testing::BankServer server;
  ASSERT_EQ(server.error(), "");
  server.Fault(bank::kConfigPath, testing::FaultKind::kStall, Document("4.0.0.0"));
  const emulated::ScratchMachine machine;
  ASSERT_TRUE(
      server.WriteNetworkIni(machine.folder().root(), {.connectMs = 60000, .receiveMs = 60000}));
  emulated::EmulatedNetwork network(machine.folder(), true);
  auto platform = std::make_unique<testing::TestPlatform>();
  platform->networkOverride = &network;
  const ScopedPlatform installed(std::move(platform));
  ScriptedPrompts prompts;

  using Clock = std::chrono::steady_clock;
  std::stop_source stop;
  std::atomic<Clock::rep> stoppedAt{0};
  std::jthread stopper([&] {
    testing::WaitForRequest([&] { return server.requestCount(bank::kConfigPath) > 0; },
                            std::chrono::milliseconds(300));
    stoppedAt = Clock::now().time_since_epoch().count();
    stop.request_stop();
  });
  const AcquiredConfig acquired = AcquireConfig(prompts, stop.get_token());
  const Clock::time_point ended = Clock::now();
  stopper.join();

  ASSERT_NE(stoppedAt.load(), 0) << "the download ended before the stop";
  EXPECT_LT(ended - Clock::time_point(Clock::duration(stoppedAt.load())),
            testing::ScaledBound(std::chrono::milliseconds(1300)));
  EXPECT_TRUE(prompts.shown.empty());
  EXPECT_FALSE(acquired.model.configLoaded);
  EXPECT_EQ(server.requestCount(bank::kConfigPath), 1);
}

}  // namespace
}  // namespace corvane
#endif
