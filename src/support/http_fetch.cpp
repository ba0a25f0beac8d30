#include "support/http_fetch.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstddef>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/file_system.h"
#include "platform/network.h"
#include "platform/platform.h"
#include "platform/replacement_file.h"
#include "platform/win_errors.h"
#include "support/md5.h"

namespace corvane {
namespace {

constexpr std::uint32_t kStatusOk = 200;
constexpr std::size_t kBlockBytes = 4096;
// Blocks are received one by one (the progress follows them) but written to the file in
// larger pieces: one write call per block would cost more than the transfer itself. A
// multiple of the block size.
constexpr std::size_t kWriteBytes = 64U * kBlockBytes;
// FetchText holds the body in memory and only ever fetches the configuration document, a
// few kilobytes; a server that sends more cannot make the process run out of memory.
constexpr std::uint64_t kMaxTextBytes = 16ULL * 1024ULL * 1024ULL;

// The announced length as the system treats it: a length of 0 says nothing, like a missing
// header.
std::optional<std::uint64_t> AnnouncedLength(InternetRequest& request) {
  const std::optional<std::uint64_t> length = request.ContentLength();
  if (length && *length == 0) return std::nullopt;
  return length;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  return std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
    const auto lower = [](char c) {
      return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    };
    return lower(a) == lower(b);
  });
}

// Holds one fetch to its FetchLimits. The network calls honour only a stop token (WinINet
// has no low-speed option of its own), so a watching thread requests stop on a token of the
// fetch's own, which the caller's token stops as well. Constructed at the fetch's start.
class FetchWatchdog {
 public:
  using Clock = std::chrono::steady_clock;

  FetchWatchdog(const FetchLimits& limits, const std::stop_token& caller)
      : limits_(limits), forward_(caller, Forward{&stop_}), start_(Clock::now()), mark_(start_) {
    if (bounded()) watcher_ = std::thread([this] { watch(); });
  }
  FetchWatchdog(const FetchWatchdog&) = delete;
  FetchWatchdog& operator=(const FetchWatchdog&) = delete;
  FetchWatchdog(FetchWatchdog&&) = delete;
  FetchWatchdog& operator=(FetchWatchdog&&) = delete;
  // A plain flag and condition variable end the watcher: the stop-token wait of
  // condition_variable_any could miss its wake-up under mingw's threads (seen under Wine).
  ~FetchWatchdog() {
    if (!watcher_.joinable()) return;
    {
      const std::scoped_lock lock(mutex_);
      finished_ = true;
    }
    wake_.notify_all();
    watcher_.join();
  }

  // What the fetch passes to the network and checks between blocks.
  [[nodiscard]] std::stop_token token() const { return stop_.get_token(); }

  // Body bytes that arrived.
  void received(std::size_t bytes) {
    const std::scoped_lock lock(mutex_);
    bytes_ += bytes;
    if (bytes_ - markBytes_ >= limits_.lowSpeedBytes) {
      mark_ = Clock::now();
      markBytes_ = bytes_;
    }
  }

 private:
  [[nodiscard]] bool lowSpeedBounded() const {
    return limits_.lowSpeedBytes != 0 && limits_.lowSpeedTime.count() > 0;
  }
  [[nodiscard]] bool bounded() const { return lowSpeedBounded() || limits_.total.count() > 0; }

  void watch() {
    std::unique_lock lock(mutex_);
    while (!finished_) {
      Clock::time_point due = Clock::time_point::max();
      if (lowSpeedBounded()) due = mark_ + limits_.lowSpeedTime;
      if (limits_.total.count() > 0) due = std::min(due, start_ + limits_.total);
      if (Clock::now() >= due) {
        stop_.request_stop();
        return;
      }
      // Progress moves the mark on; waking at the old deadline just finds the new one.
      (void)wake_.wait_until(lock, due, [this] { return finished_; });
    }
  }

  struct Forward {
    std::stop_source* to;
    void operator()() const { to->request_stop(); }
  };

  FetchLimits limits_;
  std::stop_source stop_;
  std::stop_callback<Forward> forward_;
  Clock::time_point start_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool finished_ = false;  // guarded by mutex_
  Clock::time_point mark_;  // when the body last made lowSpeedBytes of progress
  std::uint64_t bytes_ = 0;
  std::uint64_t markBytes_ = 0;
  std::thread watcher_;
};

}  // namespace

bool SameMd5(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

std::uint32_t HttpFetchFlags(std::string_view url) {
  constexpr std::uint32_t kPlain =
      win::kInternetFlagReload | win::kInternetFlagNoCacheWrite | win::kInternetFlagTransferAscii;
  return StartsWithIgnoringCase(url, "https://") ? kPlain | win::kInternetFlagSecure : kPlain;
}

HttpFetch::HttpFetch(FetchLimits limits)
    : limits_(limits), session_(CurrentPlatform().network().OpenSession("Mozilla/5.0")) {}

HttpFetch::~HttpFetch() = default;

std::string HttpFetch::FetchText(std::string_view url, std::stop_token stop) {
  if (!session_) return {};
  FetchWatchdog watchdog(limits_, stop);
  stop = watchdog.token();
  const std::unique_ptr<InternetRequest> request =
      session_->OpenUrl(url, HttpFetchFlags(url), nullptr, stop);
  if (!request || request->StatusCode() != kStatusOk) return {};
  const std::optional<std::uint64_t> length = AnnouncedLength(*request);
  if (length && *length > kMaxTextBytes) return {};

  std::string body;
  std::array<std::byte, kBlockBytes> block{};
  for (;;) {
    if (stop.stop_requested()) return {};
    const std::optional<std::size_t> got = request->Read(block);
    if (!got) return {};
    if (*got == 0) break;
    watchdog.received(*got);
    if (body.size() + *got > kMaxTextBytes) return {};
    body.append(reinterpret_cast<const char*>(block.data()), *got);
  }
  if (length && *length != body.size()) return {};
  return body;
}

std::uint32_t HttpFetch::FetchToFile(std::string_view url, std::string_view path,
                                     std::atomic<std::int32_t>* percent, std::stop_token stop,
                                     std::string_view md5, std::string* receivedMd5) {
  FileSystem& files = CurrentPlatform().files();
  // A target that is a folder or read-only could never be replaced: fail before any
  // request, as when the file cannot be created.
  std::uint32_t existing = 0;
  if (files.attributes(path, existing) == win::kErrorSuccess &&
      (existing & (win::kFileAttributeDirectory | win::kFileAttributeReadOnly)) != 0) {
    return 0;
  }
  ReplacementFile replacement(files);
  if (replacement.create(path) != win::kErrorSuccess) return 0;
  if (!session_) return 0;

  FetchWatchdog watchdog(limits_, stop);
  stop = watchdog.token();
  const std::unique_ptr<InternetRequest> request =
      session_->OpenUrl(url, HttpFetchFlags(url), nullptr, stop);
  if (!request) return 0;
  if (percent != nullptr) percent->store(0);
  if (request->StatusCode() != kStatusOk) return 0;
  const std::optional<std::uint64_t> length = AnnouncedLength(*request);
  // The result is 32-bit: a body it cannot count is not fetched at all.
  if (length && *length > std::numeric_limits<std::uint32_t>::max()) return 0;
  // Without a length, only a chunked body proves by its last chunk that it is whole; a body
  // that simply ends with the connection might have been cut.
  if (!length && !request->IsChunked()) return 0;

  // Blocks are read straight into a larger buffer that goes to the file in one write.
  std::vector<std::byte> pending(kWriteBytes);
  std::size_t filled = 0;
  const auto flush = [&] {
    const bool ok = filled == 0 || replacement.file().write(std::span(pending).first(filled)) ==
                                       win::kErrorSuccess;
    filled = 0;
    return ok;
  };
  std::uint64_t written = 0;
  // The digest of what is written, so a body the bank did not publish never replaces path.
  Md5Context digest;
  for (;;) {
    if (stop.stop_requested()) return 0;
    const std::optional<std::size_t> got =
        request->Read(std::span(pending).subspan(filled, kBlockBytes));
    if (!got) return 0;
    if (*got == 0) break;
    digest.Update(pending.data() + filled, *got);
    watchdog.received(*got);
    filled += *got;
    if (filled + kBlockBytes > kWriteBytes && !flush()) return 0;
    written += *got;
    if (length && *length < written) return 0;  // longer than announced: wrong either way
    if (written > std::numeric_limits<std::uint32_t>::max()) return 0;  // beyond the result
    if (percent != nullptr && length) {
      percent->store(static_cast<std::int32_t>(written * 100U / *length));
    }
  }
  if ((length && written != *length) || !flush()) return 0;
  // An empty body counts as a failure for every caller; it must not replace a good file.
  if (written == 0) return 0;
  digest.Final();
  const std::string received = Md5Hex(digest.digest);
  if (!md5.empty() && !SameMd5(received, md5)) return 0;
  if (replacement.commit() != win::kErrorSuccess) return 0;
  if (receivedMd5 != nullptr) *receivedMd5 = received;
  return static_cast<std::uint32_t>(written);
}

}  // namespace corvane
