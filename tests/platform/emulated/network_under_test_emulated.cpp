#include "bank/bank_values.h"
#include "network_under_test.h"
#include "platform/emulated/emulated_network.h"
#include "scratch_machine.h"

namespace corvane {
namespace {

class EmulatedNetworkUnderTest final : public NetworkUnderTest {
 public:
  EmulatedNetworkUnderTest(const testing::BankServer& server,
                           const testing::NetworkIniOptions& options)
      : written_(server.WriteNetworkIni(machine_.folder().root(), options)),
        network_(machine_.folder(), true) {}

  Network& network() override { return network_; }
  std::string Url(std::string_view path) override {
    return "https://" + std::string(bank::kPersonalHost) + std::string(path);
  }
  [[nodiscard]] bool tls() const override { return true; }

 private:
  emulated::ScratchMachine machine_;
  bool written_;
  emulated::EmulatedNetwork network_;
};

}  // namespace

std::unique_ptr<NetworkUnderTest> MakeNetworkUnderTest(const testing::BankServer& server,
                                                       const testing::NetworkIniOptions& options) {
  return std::make_unique<EmulatedNetworkUnderTest>(server, options);
}

}  // namespace corvane
