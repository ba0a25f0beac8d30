// HttpFetch through the platform's real network against the local bank server: the same
// outcomes as with the scripted network, from real answers and real faults. Natively the
// emulated PC's network (libcurl) over TLS; in the Windows builds WinINet over plain http,
// since the server has no TLS there.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "app/app_test_platform.h"
#include "bank/bank_values.h"
#include "bank_server.h"
#include "test_time.h"
#if !defined(_WIN32)
#include "platform/emulated/emulated_network.h"
#include "platform/emulated/scratch_machine.h"
#endif
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/win_errors.h"
#include "scratch_folder.h"
#include "support/http_fetch.h"
#include "support/md5.h"

namespace corvane {
namespace {

using testing::FaultKind;

std::string Body(std::size_t size) {
  std::string body(size, '\0');
  for (std::size_t i = 0; i < size; ++i) body[i] = static_cast<char>((i * 13U + 7U) & 0xFF);
  return body;
}

#if !defined(_WIN32)
// A scratch PC whose network.ini leads the bank's hosts to the server.
class ServerNetwork {
 public:
  explicit ServerNetwork(const testing::BankServer& server,
                         const testing::NetworkIniOptions& options)
      : written_(server.WriteNetworkIni(machine_.folder().root(), options)),
        network_(machine_.folder(), true) {}

  [[nodiscard]] bool ready() const { return written_; }
  Network* network() { return &network_; }
  static std::string Url(const testing::BankServer& /*server*/, std::string_view path) {
    return "https://" + std::string(bank::kPersonalHost) + std::string(path);
  }
  static testing::NetworkIniOptions Timeouts() {
    testing::NetworkIniOptions options;
    options.receiveMs = 1000;  // the stall case waits this long
    return options;
  }

 private:
  emulated::ScratchMachine machine_;
  bool written_;
  emulated::EmulatedNetwork network_;
};
#else
// The system's own WinINet.
class ServerNetwork {
 public:
  explicit ServerNetwork(const testing::BankServer& /*server*/,
                         const testing::NetworkIniOptions& /*options*/) {}
  static testing::NetworkIniOptions Timeouts() { return {}; }
  [[nodiscard]] static bool ready() { return true; }
  static Network* network() { return nullptr; }
  static std::string Url(const testing::BankServer& server, std::string_view path) {
    return "http://127.0.0.1:" + std::to_string(server.plainPort()) + std::string(path);
  }
};
#endif

std::unique_ptr<Platform> MakePlatform(Network* network) {
  auto platform = std::make_unique<testing::TestPlatform>();
  platform->networkOverride = network;
  return platform;
}

std::string Md5Hex(std::string_view bytes) {
  Md5Context context;
  context.Update(bytes.data(), bytes.size());
  context.Final();
  return corvane::Md5Hex(context.digest);
}

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

class HttpFetchServerTest : public ::testing::Test {
 protected:
  HttpFetchServerTest() : HttpFetchServerTest(ServerNetwork::Timeouts()) {}
  explicit HttpFetchServerTest(const testing::NetworkIniOptions& options)
      : network_(server_, options),
        installed_(MakePlatform(network_.network())),
        folder_("corvane-fetch-server-test") {}

  [[nodiscard]] std::string Url(std::string_view path) const {
    return ServerNetwork::Url(server_, path);
  }

  std::string read(std::string_view path) {
    std::string bytes;
    return CurrentPlatform().files().readFile(path, bytes) == win::kErrorSuccess ? bytes
                                                                                 : "<missing>";
  }

  testing::BankServer server_;
  ServerNetwork network_;
  ScopedPlatform installed_;
  testing::ScratchFolder folder_;
};

TEST_F(HttpFetchServerTest, FailureTableAgainstARealServer) {
  ASSERT_EQ(server_.error(), "");
  ASSERT_TRUE(network_.ready());
  const std::string body = Body(10000);
  struct Case {
    const char* name;
    std::string url;
    std::string path;  // what the server saw asked for; empty when it is never reached
    std::string text;
    std::uint32_t bytes = 0;
  };
  server_.Serve("/ok", body);
  server_.Fault("/404", FaultKind::kNotFoundWithBody, "not found");
  server_.Fault("/cut", FaultKind::kCutShort, body);
  server_.Fault("/too-long", FaultKind::kLengthTooLong, body);
  server_.Fault("/too-short", FaultKind::kLengthTooShort, body);
  server_.Fault("/chunked", FaultKind::kChunked, body);
  server_.Fault("/chunked-cut", FaultKind::kChunkedCutShort, body);
  server_.Fault("/stall", FaultKind::kStall, body);
  server_.Fault("/reset", FaultKind::kReset, body);
  server_.Fault("/close", FaultKind::kCloseDelimited, body);

  std::vector<Case> cases = {
    {"whole body", Url("/ok"), "/ok", body, 10000},
    {"404 with a body", Url("/404"), "/404", "", 0},
    {"cut short", Url("/cut"), "/cut", "", 0},
    {"announced longer", Url("/too-long"), "/too-long", "", 0},
    // The client reads what was announced; the rest is noise after the answer.
    {"announced shorter", Url("/too-short"), "/too-short", body.substr(0, 5000), 5000},
    {"chunked", Url("/chunked"), "/chunked", body, 10000},
#if !defined(_WIN32)
    // Wine's WinINet ends a chunked body cut short like a complete one; the stall would
    // wait for WinINet's own receive time-out there.
    {"chunked cut short", Url("/chunked-cut"), "/chunked-cut", "", 0},
    {"stall", Url("/stall"), "/stall", "", 0},
#endif
    {"reset", Url("/reset"), "/reset", "", 0},
    {"ended by closing", Url("/close"), "/close", body, 0},
    {"unresolvable host", "http://nowhere.invalid/ok", "", "", 0},
  };
#if !defined(_WIN32)
  cases.push_back({"untrusted certificate",
                   "https://" + std::string(testing::BankServer::UntrustedHost()) + "/ok", "", "",
                   0});
#endif
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int before = c.path.empty() ? 0 : server_.requestCount(c.path);
    const int okBefore = server_.requestCount("/ok");
    const std::string target = folder_.at("target.bin");
    ASSERT_EQ(CurrentPlatform().files().writeFile(target, "earlier"), win::kErrorSuccess);
    std::atomic<std::int32_t> percent{-1};
    std::string text;
    std::uint32_t bytes = 0;
    {
      HttpFetch fetch;
      text = fetch.FetchText(c.url);
      bytes = fetch.FetchToFile(c.url, target, &percent);
    }
    EXPECT_EQ(text.size(), c.text.size());
    EXPECT_TRUE(text == c.text);
    EXPECT_EQ(bytes, c.bytes);
    EXPECT_TRUE(read(target) == (c.bytes != 0 ? c.text : "earlier"));
    EXPECT_EQ(folder_.names(), std::vector<std::string>{"target.bin"});
    if (c.path.empty()) {
      EXPECT_EQ(server_.requestCount("/ok"), okBefore);  // refused before any request
    } else {
      EXPECT_EQ(server_.requestCount(c.path), before + 2);  // one GET per fetch
    }
  }
}

// A fault that comes and goes: each request takes the next turn, and the turns start again.
TEST_F(HttpFetchServerTest, RotatedFaultsComeInTurn) {
  ASSERT_EQ(server_.error(), "");
  ASSERT_TRUE(network_.ready());
  const std::string body = Body(3000);
  server_.Serve("/turn/ok", body);
  server_.Fault("/turn/cut", FaultKind::kCutShort, body);
  server_.Fault("/turn/404", FaultKind::kNotFoundWithBody, "not found");
  server_.Rotate("/file", {"/turn/ok", "/turn/cut", "/turn/404"});
  std::vector<std::size_t> sizes;
  for (int i = 0; i < 7; ++i) {
    HttpFetch fetch;
    sizes.push_back(fetch.FetchText(Url("/file")).size());
  }
  EXPECT_EQ(sizes, (std::vector<std::size_t>{3000, 0, 0, 3000, 0, 0, 3000}));
  EXPECT_EQ(server_.requestCount("/file"), 7);
  server_.Rotate("/file", {});  // no turns: the path itself again, which serves nothing
  HttpFetch fetch;
  EXPECT_EQ(fetch.FetchText(Url("/file")), "");
}

// With patient time-outs (a minute and more), so only the stop can end these downloads.
class HttpFetchStopTest : public HttpFetchServerTest {
 protected:
  HttpFetchStopTest() : HttpFetchServerTest(testing::NetworkIniOptions{}) {}
};

TEST_F(HttpFetchStopTest, AStopEndsAStalledFetchWithinASecond) {
  ASSERT_EQ(server_.error(), "");
  ASSERT_TRUE(network_.ready());
  server_.Fault("/stall", FaultKind::kStall, Body(10000));
  server_.Fault("/silent", FaultKind::kSilent);
  using Clock = std::chrono::steady_clock;
  const std::string target = folder_.at("target.bin");
  for (const bool toFile : {false, true}) {
    for (const char* path : {"/stall", "/silent"}) {
      SCOPED_TRACE(std::string(path) + (toFile ? " to a file" : " as text"));
      ASSERT_EQ(CurrentPlatform().files().writeFile(target, "earlier"), win::kErrorSuccess);
      std::stop_source source;
      std::atomic<Clock::rep> stoppedAt{0};
      std::jthread stopper([&] {
        testing::WaitForRequest([&] { return server_.requestCount(path) > 0; },
                                std::chrono::milliseconds(500));
        stoppedAt = Clock::now().time_since_epoch().count();
        source.request_stop();
      });
      HttpFetch fetch;
      if (toFile) {
        EXPECT_EQ(fetch.FetchToFile(Url(path), target, nullptr, source.get_token()), 0U);
      } else {
        EXPECT_EQ(fetch.FetchText(Url(path), source.get_token()), "");
      }
      const Clock::time_point ended = Clock::now();
      stopper.join();
      ASSERT_NE(stoppedAt.load(), 0) << "the fetch ended before the stop";
      EXPECT_LT(ended - Clock::time_point(Clock::duration(stoppedAt.load())),
                testing::ScaledBound(std::chrono::seconds(1)));
      EXPECT_EQ(read(target), "earlier");
      EXPECT_EQ(folder_.names(), std::vector<std::string>{"target.bin"});
    }
  }
}

// A file requirement downloads straight to the installed file's path: bytes whose digest is
// not the configured one must never stand there, not even for a moment, and leave nothing.
TEST_F(HttpFetchServerTest, ABodyWithTheWrongDigestNeverReplacesTheTarget) {
  ASSERT_TRUE(network_.ready());
  const std::string good = Body(5000);
  const std::string tampered = "tampered" + good.substr(8);
  server_.Serve("/helper.dll", tampered);
  const std::string target = folder_.at("helper.dll");
  ASSERT_EQ(CurrentPlatform().files().writeFile(target, good), 0U);
  const std::string published = Md5Hex(good);
  for (const std::string& md5 : {published, Upper(published)}) {
    HttpFetch fetch;
    std::string received = "unchanged";
    EXPECT_EQ(fetch.FetchToFile(Url("/helper.dll"), target, nullptr, {}, md5, &received), 0U);
    EXPECT_EQ(received, "unchanged");
    EXPECT_EQ(read(target), good);
    EXPECT_EQ(folder_.names(), std::vector<std::string>{"helper.dll"});
  }
  // The published bytes replace it, in either letter case of the digest.
  server_.Serve("/helper.dll", good + "v2");
  for (const std::string& md5 : {Md5Hex(good + "v2"), Upper(Md5Hex(good + "v2"))}) {
    HttpFetch fetch;
    std::string received;
    EXPECT_EQ(fetch.FetchToFile(Url("/helper.dll"), target, nullptr, {}, md5, &received),
              good.size() + 2);
    EXPECT_EQ(received, Md5Hex(good + "v2"));
    EXPECT_EQ(read(target), good + "v2");
  }
}

// Servers that trickle, which the system's receive time-out never ends (it starts again with
// every byte): the fetch's own bounds end them, here made short. Each case is fetched as text
// and to a file at the same time, each with its own HttpFetch.
TEST_F(HttpFetchStopTest, TricklingAnswersEndAtTheFetchBounds) {
  ASSERT_EQ(server_.error(), "");
  ASSERT_TRUE(network_.ready());
  using Clock = std::chrono::steady_clock;
  using std::chrono::milliseconds;
  server_.Fault("/trickle", FaultKind::kTrickleBody, Body(4000));
  server_.Fault("/trickle-headers", FaultKind::kTrickleHeaders);
  server_.Fault("/steady", FaultKind::kTrickleBody, "abc");
  struct Case {
    const char* name;
    const char* path;
    FetchLimits limits;
    milliseconds endsAfter;  // at the earliest
    std::string text;        // what arrives when the fetch completes
  };
  const std::vector<Case> cases = {
      {"body below the low speed",
       "/trickle",
       {1024, milliseconds(2000), {}},
       milliseconds(2000),
       ""},
      {"headers below the low speed",
       "/trickle-headers",
       {1024, milliseconds(2000), {}},
       milliseconds(2000),
       ""},
      // A byte a second passes a low speed of one byte in three seconds; the whole is bounded.
      {"total bound",
       "/trickle",
       {1, milliseconds(3000), milliseconds(2000)},
       milliseconds(2000),
       ""},
      {"slow but steady", "/steady", {1, milliseconds(2000), {}}, milliseconds(3000), "abc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
#ifdef _WIN32
    // WinINet hands a synchronous read its data only when the block is full or the body
    // ends, so progress finer than a block (here a byte a second) is not seen there: the
    // rule then reads as one 4 KiB block per window, which real downloads pass easily.
    if (std::string_view(c.path) == "/steady") continue;
#endif
    const std::string target = folder_.at("target.bin");
    ASSERT_EQ(CurrentPlatform().files().writeFile(target, "earlier"), win::kErrorSuccess);
    const Clock::time_point started = Clock::now();
    std::string text = "<not fetched>";
    Clock::time_point textEnded;
    std::jthread asText([&] {
      text = HttpFetch(c.limits).FetchText(Url(c.path));
      textEnded = Clock::now();
    });
    const std::uint32_t bytes = HttpFetch(c.limits).FetchToFile(Url(c.path), target, nullptr);
    const Clock::time_point fileEnded = Clock::now();
    asText.join();
    EXPECT_TRUE(text == c.text) << text.size();
    EXPECT_EQ(bytes, c.text.size());
    EXPECT_TRUE(read(target) == (c.text.empty() ? "earlier" : c.text));
    EXPECT_EQ(folder_.names(), std::vector<std::string>{"target.bin"});
    for (const Clock::time_point ended : {textEnded, fileEnded}) {
      EXPECT_GE(ended - started, c.endsAfter - milliseconds(100));
      EXPECT_LT(ended - started, c.endsAfter + testing::ScaledBound(milliseconds(2500)));
    }
  }
}

}  // namespace
}  // namespace corvane
