#pragma once

// Services a backend does not offer yet: a PC without a network connection. Every call fails
// as the real one fails in that state.

#include "platform/network.h"

namespace corvane {

class UnavailableNetwork final : public Network {
 public:
  bool ConnectedState(std::uint32_t* flags) override {
    if (flags != nullptr) *flags = win::kInternetConnectionOffline;
    return false;
  }
  std::unique_ptr<InternetSession> OpenSession(std::string_view /*userAgent*/) override {
    return nullptr;
  }
  HostAddresses ResolveHost(std::string_view /*name*/) override {
    return HostAddresses{kWsaHostNotFound, {}};
  }

  static constexpr std::uint32_t kWsaHostNotFound = 11001;
};

}  // namespace corvane
