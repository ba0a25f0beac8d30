// The network service against a local bank server: what a download sees of each kind of
// answer, the failures callers tell apart, and name resolution.

#include "platform/network.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "bank_server.h"
#include "network_under_test.h"
#include "test_time.h"

namespace corvane {
namespace {

using testing::BankServer;
using testing::FaultKind;

constexpr std::string_view kAgent = "Mozilla/5.0";
constexpr std::uint32_t kHttpsFlags = 0x84800001;
constexpr std::uint32_t kHttpFlags = 0x84000001;

std::string Text(std::size_t size) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + (i * 7) % 26);
  return text;
}

struct ReadResult {
  std::string body;
  bool failed = false;
  std::uint32_t error = 0;
};

// Reads the whole body in blocks of `block` bytes, as a download does.
ReadResult ReadAll(InternetRequest& request, std::size_t block) {
  ReadResult result;
  std::vector<std::byte> buffer(block);
  while (true) {
    const std::optional<std::size_t> n = request.Read(buffer);
    if (!n) {
      result.failed = true;
      result.error = request.LastError();
      return result;
    }
    if (*n == 0) return result;
    result.body.append(reinterpret_cast<const char*>(buffer.data()), *n);
  }
}

class NetworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(server_.error(), "");
    testing::NetworkIniOptions options;
    options.receiveMs = 1000;  // the stall row waits this long
    under_ = MakeNetworkUnderTest(server_, options);
    session_ = under_->network().OpenSession(kAgent);
    ASSERT_NE(session_, nullptr);
  }

  std::unique_ptr<InternetRequest> Open(std::string_view path, std::uint32_t* error) {
    return session_->OpenUrl(under_->Url(path), under_->tls() ? kHttpsFlags : kHttpFlags, error,
                             {});
  }

  BankServer server_;
  std::unique_ptr<NetworkUnderTest> under_;
  std::unique_ptr<InternetSession> session_;
};

enum class End { kComplete, kFails };

struct AnswerCase {
  const char* name;
  FaultKind kind;
  bool plainBody;  // served with Serve() rather than as a fault
  std::uint32_t status;
  std::optional<std::uint64_t> contentLength;
  bool chunked;
  End end;
  std::size_t bodyBytes;  // what a complete read yields
};

TEST_F(NetworkTest, AnswersAsTheServerGaveThem) {
  constexpr std::size_t kSize = 10000;
  const AnswerCase cases[] = {
      {"/ok", FaultKind::kNotFoundWithBody, true, 200, kSize, false, End::kComplete, kSize},
      {"/missing", FaultKind::kNotFoundWithBody, false, 404, kSize, false, End::kComplete, kSize},
      {"/chunked", FaultKind::kChunked, false, 200, std::nullopt, true, End::kComplete, kSize},
      {"/close", FaultKind::kCloseDelimited, false, 200, std::nullopt, false, End::kComplete,
       kSize},
      {"/short-length", FaultKind::kLengthTooShort, false, 200, kSize / 2, false, End::kComplete,
       kSize / 2},
      {"/cut", FaultKind::kCutShort, false, 200, kSize, false, End::kFails, 0},
      {"/long-length", FaultKind::kLengthTooLong, false, 200, kSize + 100, false, End::kFails, 0},
      {"/chunked-cut", FaultKind::kChunkedCutShort, false, 200, std::nullopt, true, End::kFails, 0},
  };
  const std::string body = Text(kSize);
  for (const AnswerCase& c : cases) {
    if (c.plainBody) {
      server_.Serve(c.name, body);
    } else {
      server_.Fault(c.name, c.kind, body);
    }
  }
  for (const AnswerCase& c : cases) {
    for (const std::size_t block : {std::size_t{4096}, std::size_t{7}}) {
      SCOPED_TRACE(std::string(c.name) + " in blocks of " + std::to_string(block));
      const int before = server_.requestCount(c.name);
      std::uint32_t error = 1;
      const auto request = Open(c.name, &error);
      ASSERT_NE(request, nullptr) << error;
      EXPECT_EQ(error, 0U);
      EXPECT_EQ(request->StatusCode(), c.status);
      EXPECT_EQ(request->ContentLength(), c.contentLength);
      EXPECT_EQ(request->IsChunked(), c.chunked);
      const ReadResult read = ReadAll(*request, block);
      if (c.kind == FaultKind::kChunkedCutShort && !under_->tls()) {
        // Wine's WinINet ends a chunked body cut short like a complete one.
        continue;
      }
      if (c.end == End::kComplete) {
        EXPECT_FALSE(read.failed) << read.error;
        EXPECT_EQ(read.body.size(), c.bodyBytes);
        EXPECT_TRUE(read.body == body.substr(0, c.bodyBytes)) << "the body's bytes differ";
      } else {
        EXPECT_TRUE(read.failed) << "a broken body must not end like a complete one";
        EXPECT_NE(read.error, 0U);
      }
      EXPECT_EQ(server_.requestCount(c.name), before + 1) << "one GET per open";
    }
  }
}

TEST_F(NetworkTest, FollowsARedirectWithOneRequestEach) {
  server_.Serve("/target", "arrived");
  server_.Fault("/moved", FaultKind::kRedirect, "see /target", "/target");
  std::uint32_t error = 1;
  const auto request = Open("/moved", &error);
  ASSERT_NE(request, nullptr) << error;
  EXPECT_EQ(request->StatusCode(), 200U);
  EXPECT_EQ(ReadAll(*request, 4096).body, "arrived");
  EXPECT_EQ(server_.requestCount("/moved"), 1);
  EXPECT_EQ(server_.requestCount("/target"), 1);
}

TEST_F(NetworkTest, ReportsALengthBeyond32BitsAsItIs) {
  constexpr std::uint64_t kFiveGiB = 5ULL << 30;
  server_.ServeAnnouncing("/huge", Text(1000), kFiveGiB);
  std::uint32_t error = 1;
  const auto request = Open("/huge", &error);
  ASSERT_NE(request, nullptr) << error;
  EXPECT_EQ(request->ContentLength(), kFiveGiB);
  const ReadResult read = ReadAll(*request, 4096);
  EXPECT_EQ(read.body.size(), 1000U);
  EXPECT_TRUE(read.failed) << "the connection ended before the announced length";
}

TEST_F(NetworkTest, FailsWithoutSendingWhatCannotBeReached) {
  std::uint16_t closedPort = 0;
  {
    const BankServer gone;
    closedPort = gone.plainPort();
  }
  struct Case {
    std::string url;
    std::uint32_t error;
  };
  const Case cases[] = {
      {"http://127.0.0.1:" + std::to_string(closedPort) + "/x", win::kErrorInternetCannotConnect},
      {"http://no-such-host.invalid/x", win::kErrorInternetNameNotResolved},
      {"ftp://127.0.0.1:" + std::to_string(server_.plainPort()) + "/x",
       win::kErrorInternetUnrecognizedScheme},
      {"file:///C:/Windows/win.ini", win::kErrorInternetUnrecognizedScheme},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    std::uint32_t error = 0;
    EXPECT_EQ(session_->OpenUrl(c.url, kHttpFlags, &error, {}), nullptr);
    EXPECT_EQ(error, c.error);
  }
  EXPECT_EQ(server_.requestCount("/x"), 0);
}

TEST_F(NetworkTest, AResetBeforeTheAnswerFailsTheOpen) {
  server_.Fault("/reset", FaultKind::kReset);
  std::uint32_t error = 0;
  EXPECT_EQ(Open("/reset", &error), nullptr);
  EXPECT_NE(error, 0U);
}

TEST_F(NetworkTest, AStalledBodyTimesOut) {
  if (!under_->tls()) GTEST_SKIP() << "WinINet's receive time-out is its own (minutes)";
  server_.Fault("/stall", FaultKind::kStall, "never sent");
  std::uint32_t error = 1;
  const auto request = Open("/stall", &error);
  ASSERT_NE(request, nullptr) << error;
  const auto start = std::chrono::steady_clock::now();
  const ReadResult read = ReadAll(*request, 4096);
  EXPECT_TRUE(read.failed);
  EXPECT_EQ(read.error, win::kErrorInternetTimeout);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

// A stop ends a request wherever it waits, long before any time-out: before it starts, while
// the server keeps the answer back, and while the body stalls.
TEST(NetworkStopTest, AStopEndsARequestWithinASecond) {
  BankServer server;
  ASSERT_EQ(server.error(), "");
  server.Fault("/silent", FaultKind::kSilent);
  server.Fault("/stall", FaultKind::kStall, "never sent");
  const auto under = MakeNetworkUnderTest(server, {});  // minutes of patience
  const auto session = under->network().OpenSession(kAgent);
  ASSERT_NE(session, nullptr);
  const std::uint32_t flags = under->tls() ? kHttpsFlags : kHttpFlags;
  using Clock = std::chrono::steady_clock;
  constexpr auto kBound = testing::ScaledBound(std::chrono::seconds(1));

  {
    std::stop_source stopped;
    stopped.request_stop();
    std::uint32_t error = 0;
    EXPECT_EQ(session->OpenUrl(under->Url("/stall"), flags, &error, stopped.get_token()), nullptr);
    EXPECT_EQ(error, win::kErrorInternetOperationCancelled);
    EXPECT_EQ(server.requestCount("/stall"), 0);
  }
  for (const char* path : {"/silent", "/stall"}) {
    SCOPED_TRACE(path);
    std::stop_source source;
    std::atomic<Clock::rep> stoppedAt{0};
    std::jthread stopper([&] {
      testing::WaitForRequest([&] { return server.requestCount(path) > 0; },
                              std::chrono::milliseconds(500));
      stoppedAt = Clock::now().time_since_epoch().count();
      source.request_stop();
    });
    std::uint32_t error = 0;
    const auto request = session->OpenUrl(under->Url(path), flags, &error, source.get_token());
    if (std::string_view(path) == "/stall") {
      ASSERT_NE(request, nullptr) << error;
      const ReadResult read = ReadAll(*request, 4096);
      EXPECT_TRUE(read.failed);
      EXPECT_EQ(read.error, win::kErrorInternetOperationCancelled);
      std::array<std::byte, 16> more{};
      EXPECT_EQ(request->Read(more), std::nullopt) << "a stopped request stays stopped";
    } else {
      EXPECT_EQ(request, nullptr);
      EXPECT_EQ(error, win::kErrorInternetOperationCancelled);
    }
    const Clock::time_point ended = Clock::now();
    stopper.join();
    ASSERT_NE(stoppedAt.load(), 0) << "the request ended before the stop";
    EXPECT_LT(ended - Clock::time_point(Clock::duration(stoppedAt.load())), kBound);
    EXPECT_EQ(server.requestCount(path), 1);
  }
}

TEST_F(NetworkTest, RefusesCertificatesItCannotTrustAndHttpsToHttpRedirects) {
  if (!under_->tls()) GTEST_SKIP() << "no TLS server in the Windows builds";
  server_.Serve("/page", "secret");
  server_.Fault("/down", FaultKind::kRedirectToHttp, "", "/page");
  struct Case {
    std::string url;
    std::uint32_t error;
  };
  const Case cases[] = {
      {"https://" + std::string(BankServer::UntrustedHost()) + "/page",
       win::kErrorInternetInvalidCa},
      {"https://" + std::string(BankServer::WrongNameHost()) + "/page",
       win::kErrorInternetSecCertCnInvalid},
      {under_->Url("/down"), win::kErrorInternetHttpsToHttpOnRedir},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    std::uint32_t error = 0;
    EXPECT_EQ(session_->OpenUrl(c.url, kHttpsFlags, &error, {}), nullptr);
    EXPECT_EQ(error, c.error);
  }
  EXPECT_EQ(server_.requestCount("/page"), 0) << "nothing may be asked of a refused server";
}

TEST_F(NetworkTest, ResolvesNamesAndDottedAddresses) {
  Network& network = under_->network();
  const HostAddresses dotted = network.ResolveHost("127.0.0.1");
  EXPECT_EQ(dotted.error, 0U);
  EXPECT_EQ(dotted.addresses, std::vector<std::string>{"127.0.0.1"});

  const HostAddresses local = network.ResolveHost("localhost");
  EXPECT_EQ(local.error, 0U);
  ASSERT_FALSE(local.addresses.empty());
  EXPECT_EQ(local.addresses.front(), "127.0.0.1");

  const HostAddresses missing = network.ResolveHost("no-such-host.invalid");
  EXPECT_NE(missing.error, 0U);
  EXPECT_TRUE(missing.addresses.empty());
}

}  // namespace
}  // namespace corvane
