#include "support/http_fetch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/app_test_platform.h"
#include "fake_network.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/win_errors.h"
#include "scratch_folder.h"

namespace corvane {
namespace {

using testing::FakeNetwork;
using testing::OkAnswer;
using testing::ScriptedAnswer;

constexpr std::string_view kUrl = "https://perbank.marrowby.example/file.bin";

class HttpFetchTest : public ::testing::Test {
 protected:
  HttpFetchTest() : installed_(MakePlatform(network_)), folder_("corvane-fetch-test") {}

  static std::unique_ptr<Platform> MakePlatform(FakeNetwork& network) {
    auto platform = std::make_unique<testing::TestPlatform>();
    platform->networkOverride = &network;
    return platform;
  }

  static FileSystem& files() { return CurrentPlatform().files(); }

  std::string read(std::string_view path) {
    std::string bytes;
    return files().readFile(path, bytes) == win::kErrorSuccess ? bytes : "<missing>";
  }

  FakeNetwork network_;
  ScopedPlatform installed_;
  testing::ScratchFolder folder_;
};

std::string Body(std::size_t size) {
  std::string body(size, '\0');
  for (std::size_t i = 0; i < size; ++i) body[i] = static_cast<char>((i * 7U + i / 251U) & 0xFF);
  return body;
}

TEST(HttpFetchFlagsTest, SecureOnlyForHttpsInAnyCase) {
  EXPECT_EQ(HttpFetchFlags("https://a/"), 0x84800001U);
  EXPECT_EQ(HttpFetchFlags("HTTPS://a/"), 0x84800001U);
  EXPECT_EQ(HttpFetchFlags("hTtPs://"), 0x84800001U);
  EXPECT_EQ(HttpFetchFlags("http://a/"), 0x84000001U);
  EXPECT_EQ(HttpFetchFlags("https:/a"), 0x84000001U);
  EXPECT_EQ(HttpFetchFlags("ftp://a/"), 0x84000001U);
}

TEST_F(HttpFetchTest, OneRequestWithTheSchemesFlagsAndTheBrowsersUserAgent) {
  network_.answer = OkAnswer("hello");
  HttpFetch fetch;
  EXPECT_EQ(fetch.FetchText("HTTPS://perbank.marrowby.example/a"), "hello");
  EXPECT_EQ(fetch.FetchToFile("http://update.marrowby.example/b", folder_.at("b"), nullptr), 5U);
  ASSERT_EQ(network_.opens.size(), 2U);
  EXPECT_EQ(network_.opens[0].url, "HTTPS://perbank.marrowby.example/a");
  EXPECT_EQ(network_.opens[0].flags, 0x84800001U);
  EXPECT_EQ(network_.opens[1].flags, 0x84000001U);
  EXPECT_EQ(network_.userAgents, std::vector<std::string>{"Mozilla/5.0"});
  EXPECT_EQ(read(folder_.at("b")), "hello");
}

TEST_F(HttpFetchTest, ProgressFollowsTheBlocksAgainstTheAnnouncedLength) {
  network_.answer = OkAnswer(Body(10000));
  std::atomic<std::int32_t> percent{-1};
  std::vector<std::int32_t> seen;
  network_.onRead = [&] { seen.push_back(percent.load()); };
  HttpFetch fetch;
  EXPECT_EQ(fetch.FetchToFile(kUrl, folder_.at("f.bin"), &percent), 10000U);
  // Seen before each read: the start, then after the blocks ending at 4096, 8192 and 10000.
  EXPECT_EQ(seen, (std::vector<std::int32_t>{0, 40, 81, 100}));
  EXPECT_EQ(read(folder_.at("f.bin")), Body(10000));
}

// bytes × 100 passes 32 bits after 43 MB: the percentage must not wrap.
TEST_F(HttpFetchTest, ProgressOfALargeFileReachesOneHundred) {
  network_.answer = OkAnswer(std::string(60'000'000, 'x'));
  std::atomic<std::int32_t> percent{-1};
  HttpFetch fetch;
  EXPECT_EQ(fetch.FetchToFile(kUrl, folder_.at("large.bin"), &percent), 60'000'000U);
  EXPECT_EQ(percent.load(), 100);
}

TEST_F(HttpFetchTest, ChunkedBodyIsWholeAndCountedButShowsNoProgress) {
  ScriptedAnswer answer;
  answer.chunked = true;
  answer.body = Body(10000);
  network_.answer = answer;
  std::atomic<std::int32_t> percent{-1};
  HttpFetch fetch;
  EXPECT_EQ(fetch.FetchToFile(kUrl, folder_.at("f.bin"), &percent), 10000U);
  EXPECT_EQ(percent.load(), 0);
  EXPECT_EQ(read(folder_.at("f.bin")), Body(10000));
}

// Every way a fetch can end, for both operations. FetchToFile starts with an earlier good
// file at the target, which only a complete body may replace.
TEST_F(HttpFetchTest, FailureTable) {
  const std::string body = Body(10000);
  struct Case {
    const char* name;
    ScriptedAnswer answer;
    bool sessionFails = false;
    std::string text;         // FetchText's result
    std::uint32_t bytes = 0;  // FetchToFile's result; the file is replaced when not 0
  };
  const auto answer = [&](std::optional<std::uint32_t> status, std::optional<std::uint64_t> length,
                          std::string content) {
    ScriptedAnswer a;
    a.status = status;
    a.contentLength = length;
    a.body = std::move(content);
    return a;
  };
  ScriptedAnswer unresolved;
  unresolved.openError = win::kErrorInternetNameNotResolved;
  ScriptedAnswer untrusted;
  untrusted.openError = win::kErrorInternetInvalidCa;
  ScriptedAnswer reset = OkAnswer(body);
  reset.breakAfter = 5000;
  ScriptedAnswer chunked = answer(200, std::nullopt, body);
  chunked.chunked = true;
  ScriptedAnswer chunkedCut = chunked;
  chunkedCut.breakAfter = 4096;
  ScriptedAnswer oddReads = OkAnswer(body);
  oddReads.readLimit = 1000;

  const std::vector<Case> cases = {
      {"whole body with its length", OkAnswer(body), false, body, 10000},
      {"reads shorter than a block", oddReads, false, body, 10000},
      {"session cannot be opened", OkAnswer(body), true, "", 0},
      {"name not resolved", unresolved, false, "", 0},
      {"untrusted certificate", untrusted, false, "", 0},
      {"404 with a body and its length", answer(404, 9, "not found"), false, "", 0},
      {"404 without a length", answer(404, std::nullopt, "not found"), false, "", 0},
      {"no status", answer(std::nullopt, 5, "hello"), false, "", 0},
      {"body shorter than announced", answer(200, 10001, body), false, "", 0},
      {"body longer than announced", answer(200, 9999, body), false, "", 0},
      {"connection reset mid-body", reset, false, "", 0},
      {"chunked body", chunked, false, body, 10000},
      {"chunked body cut short", chunkedCut, false, "", 0},
      // Ends with the connection: FetchText takes it as the server meant it, a file whose
      // completeness cannot be known is not kept.
      {"no length, not chunked", answer(200, std::nullopt, body), false, body, 0},
      {"empty body", answer(200, 0, ""), false, "", 0},
      {"length beyond 32 bits", answer(200, 1ULL << 32U, body), false, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    network_.answer = c.answer;
    network_.sessionFails = c.sessionFails;
    network_.opens.clear();
    const std::string target = folder_.at("target.bin");
    ASSERT_EQ(files().writeFile(target, "earlier good file"), win::kErrorSuccess);

    std::string text;
    std::uint32_t bytes = 0;
    {
      HttpFetch fetch;
      text = fetch.FetchText(kUrl);
      bytes = fetch.FetchToFile(kUrl, target, nullptr);
    }
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(bytes, c.bytes);
    EXPECT_EQ(read(target), c.bytes != 0 ? body : "earlier good file");
    EXPECT_EQ(folder_.names(), std::vector<std::string>{"target.bin"});
    EXPECT_EQ(network_.opens.size(), c.sessionFails ? 0U : 2U);
  }
}

TEST_F(HttpFetchTest, FailedDownloadWithoutEarlierFileLeavesNothing) {
  network_.answer = OkAnswer(Body(10000));
  network_.answer.breakAfter = 8192;
  HttpFetch fetch;
  EXPECT_EQ(fetch.FetchToFile(kUrl, folder_.at("new.bin"), nullptr), 0U);
  EXPECT_EQ(folder_.names(), std::vector<std::string>{});
}

// A file that could not be written is known before anything is fetched.
TEST_F(HttpFetchTest, TargetThatCannotBeWrittenSendsNoRequest) {
  network_.answer = OkAnswer("hello");
  ASSERT_EQ(files().createDirectory(folder_.at("a folder")), win::kErrorSuccess);
  ASSERT_EQ(files().writeFile(folder_.at("read-only.bin"), "kept"), win::kErrorSuccess);
  ASSERT_EQ(files().setAttributes(folder_.at("read-only.bin"), win::kFileAttributeReadOnly),
            win::kErrorSuccess);
  HttpFetch fetch;
  EXPECT_EQ(fetch.FetchToFile(kUrl, folder_.at(R"(missing folder\f.bin)"), nullptr), 0U);
  EXPECT_EQ(fetch.FetchToFile(kUrl, folder_.at("a folder"), nullptr), 0U);
  EXPECT_EQ(fetch.FetchToFile(kUrl, folder_.at("read-only.bin"), nullptr), 0U);
  EXPECT_TRUE(network_.opens.empty());
  EXPECT_EQ(read(folder_.at("read-only.bin")), "kept");
  (void)files().setAttributes(folder_.at("read-only.bin"), win::kFileAttributeNormal);
}

}  // namespace
}  // namespace corvane
