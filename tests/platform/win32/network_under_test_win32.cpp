#include "network_under_test.h"
#include "platform/win32/win32_network.h"

namespace corvane {
namespace {

class Win32NetworkUnderTest final : public NetworkUnderTest {
 public:
  explicit Win32NetworkUnderTest(const testing::BankServer& server) : port_(server.plainPort()) {}

  Network& network() override { return network_; }
  std::string Url(std::string_view path) override {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
  }
  [[nodiscard]] bool tls() const override { return false; }

 private:
  std::uint16_t port_;
  win32::Win32Network network_;
};

}  // namespace

std::unique_ptr<NetworkUnderTest> MakeNetworkUnderTest(
    const testing::BankServer& server, const testing::NetworkIniOptions& /*options*/) {
  return std::make_unique<Win32NetworkUnderTest>(server);
}

}  // namespace corvane
