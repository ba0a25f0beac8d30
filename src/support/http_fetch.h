#pragma once

// The system's only way of downloading: a GET over http or https through the platform's
// Internet session (the system's proxy settings, no browser cache), body in memory or to a
// file with progress. Never shows anything; failures are an empty result or 0.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace corvane {

class InternetSession;

class HttpFetch {
 public:
  // Opens the session with the user agent "Mozilla/5.0".
  HttpFetch();
  HttpFetch(const HttpFetch&) = delete;
  HttpFetch& operator=(const HttpFetch&) = delete;
  HttpFetch(HttpFetch&&) = delete;
  HttpFetch& operator=(HttpFetch&&) = delete;
  ~HttpFetch();

  // The body of a 200 answer; empty on any failure.
  std::string FetchText(std::string_view url);

  // Downloads url to path (a Windows path). Returns the number of bytes of the body when it
  // arrived whole (Content-Length, or the end of a chunked body), else 0. The body goes to
  // a temporary file beside path that replaces path only when complete, so a failed
  // download leaves no partial file and keeps an earlier one. percent, when given, receives
  // the progress (0 to 100) as blocks arrive.
  std::uint32_t FetchToFile(std::string_view url, std::string_view path,
                            std::atomic<std::int32_t>* percent);

 private:
  std::unique_ptr<InternetSession> session_;
};

// The InternetOpenUrl flags for url: secure for "https://" in any case.
std::uint32_t HttpFetchFlags(std::string_view url);

}  // namespace corvane
