#pragma once

// A network whose every request gets the scripted answer: status, headers, body, the size of
// each read and where the transfer breaks. It records what was asked of it.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/network.h"

namespace corvane::testing {

struct ScriptedAnswer {
  std::uint32_t openError = 0;  // not 0: OpenUrl fails with this WinINet error
  std::optional<std::uint32_t> status = 200;
  std::optional<std::uint64_t> contentLength;
  bool chunked = false;
  std::string body;
  std::optional<std::size_t> breakAfter;  // a read error once this many bytes were read
  std::size_t readLimit = 4096;           // at most this many bytes per read
};

// A body with a matching Content-Length.
inline ScriptedAnswer OkAnswer(std::string body) {
  ScriptedAnswer answer;
  answer.contentLength = body.size();
  answer.body = std::move(body);
  return answer;
}

class FakeNetwork final : public Network {
 public:
  struct Open {
    std::string url;
    std::uint32_t flags = 0;
  };

  ScriptedAnswer answer;
  bool sessionFails = false;
  std::function<void()> onRead;  // called at the start of every read

  std::vector<std::string> userAgents;
  std::vector<Open> opens;

  bool ConnectedState(std::uint32_t* flags) override {
    if (flags != nullptr) *flags = win::kInternetConnectionLan;
    return true;
  }

  std::unique_ptr<InternetSession> OpenSession(std::string_view userAgent) override {
    userAgents.emplace_back(userAgent);
    if (sessionFails) return nullptr;
    return std::make_unique<Session>(*this);
  }

  HostAddresses ResolveHost(std::string_view /*name*/) override { return {}; }

 private:
  class Request final : public InternetRequest {
   public:
    explicit Request(FakeNetwork& network) : network_(network), answer_(network.answer) {}
    std::optional<std::uint32_t> StatusCode() override { return answer_.status; }
    std::optional<std::uint64_t> ContentLength() override { return answer_.contentLength; }
    bool IsChunked() override { return answer_.chunked; }
    std::optional<std::size_t> Read(std::span<std::byte> buffer) override {
      if (network_.onRead) network_.onRead();
      if (answer_.breakAfter && offset_ >= *answer_.breakAfter) {
        error_ = win::kErrorInternetConnectionReset;
        return std::nullopt;
      }
      std::size_t end = answer_.body.size();
      if (answer_.breakAfter) end = std::min(end, *answer_.breakAfter);
      const std::size_t count =
          std::min({buffer.size(), answer_.readLimit, end - std::min(end, offset_)});
      if (count > 0) std::memcpy(buffer.data(), answer_.body.data() + offset_, count);
      offset_ += count;
      return count;
    }
    std::uint32_t LastError() override { return error_; }

   private:
    FakeNetwork& network_;
    ScriptedAnswer answer_;
    std::size_t offset_ = 0;
    std::uint32_t error_ = 0;
  };

  class Session final : public InternetSession {
   public:
    explicit Session(FakeNetwork& network) : network_(network) {}
    std::unique_ptr<InternetRequest> OpenUrl(std::string_view url, std::uint32_t flags,
                                             std::uint32_t* error,
                                             std::stop_token /*stop*/) override {
      network_.opens.push_back({std::string(url), flags});
      if (network_.answer.openError != 0) {
        if (error != nullptr) *error = network_.answer.openError;
        return nullptr;
      }
      return std::make_unique<Request>(network_);
    }

   private:
    FakeNetwork& network_;
  };
};

}  // namespace corvane::testing
