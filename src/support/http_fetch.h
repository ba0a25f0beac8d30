#pragma once

// The system's only way of downloading: a GET over http or https through the platform's
// Internet session (the system's proxy settings, no browser cache), body in memory or to a
// file with progress. Never shows anything; failures are an empty result or 0.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>

namespace corvane {

class InternetSession;

// Bounds of every fetch, so that no server holds a download for ever: the system's own
// receive time-out starts again with every byte, so a server that trickles never meets it.
// A fetch that breaks a bound ends as a failure, as if stopped.
struct FetchLimits {
  // Fewer than lowSpeedBytes of body within any lowSpeedTime ends the fetch. Connecting and
  // the headers count as no progress, so headers that trickle end it too. A steady 20 KB/s
  // installer passes with a wide margin. 0 bytes: no such bound.
  std::uint64_t lowSpeedBytes = 1024;
  std::chrono::milliseconds lowSpeedTime = std::chrono::seconds(30);
  // The whole fetch from its start, connecting included; zero: no bound.
  std::chrono::milliseconds total = std::chrono::milliseconds::zero();
};

class HttpFetch {
 public:
  // Opens the session with the user agent "Mozilla/5.0"; every fetch keeps to `limits`.
  explicit HttpFetch(FetchLimits limits = {});
  HttpFetch(const HttpFetch&) = delete;
  HttpFetch& operator=(const HttpFetch&) = delete;
  HttpFetch(HttpFetch&&) = delete;
  HttpFetch& operator=(HttpFetch&&) = delete;
  ~HttpFetch();

  // The body of a 200 answer (of its Content-Length when there is one); empty on any
  // failure. Bodies over 16 MiB fail: this is for small documents. A stop requested on
  // `stop` ends the fetch, connecting or receiving, within about a second, as a failure.
  std::string FetchText(std::string_view url, std::stop_token stop = {});

  // Downloads url to path (a Windows path). Returns the number of bytes of the body when it
  // provably arrived whole (its Content-Length, or the last chunk of a chunked body), else
  // 0; a body that just ends with the connection, an empty one and one over 4 GiB count as
  // failures. The body goes to a temporary file beside path that replaces path only when
  // complete, so a failed download leaves no partial file and keeps an earlier one; a path
  // that is a folder or read-only, or whose folder takes no new file, fails before any
  // request. percent, when given, is set to 0 once the request is open and then follows
  // the blocks (bytes so far × 100 ÷ Content-Length); without a length it stays 0. A stop
  // requested on `stop` ends the download within about a second as a failure (0, no file).
  // With a non-empty `md5` (32 hex digits, either case) the body must have that digest: one
  // that differs fails before anything replaces path, so a refused download leaves path as
  // it was. `receivedMd5`, when given, receives the lower-case digest of the body written.
  std::uint32_t FetchToFile(std::string_view url, std::string_view path,
                            std::atomic<std::int32_t>* percent, std::stop_token stop = {},
                            std::string_view md5 = {}, std::string* receivedMd5 = nullptr);

 private:
  FetchLimits limits_;
  std::unique_ptr<InternetSession> session_;
};

// Whether two hex digests are the same, letters compared without regard to case.
bool SameMd5(std::string_view a, std::string_view b);

// The InternetOpenUrl flags for url: secure for "https://" in any case.
std::uint32_t HttpFetchFlags(std::string_view url);

}  // namespace corvane
