#include "certificate_stores_under_test.h"
#include "platform/emulated/emulated_certificate_stores.h"
#include "scratch_machine.h"

namespace corvane {
namespace {

class EmulatedCertificateStoresUnderTest final : public CertificateStoresUnderTest {
 public:
  CertificateStores& stores() override { return stores_; }
  [[nodiscard]] std::filesystem::path emulatedCerts() const override {
    return machine_.folder().root() / "certs";
  }

 private:
  emulated::ScratchMachine machine_;
  emulated::EmulatedCertificateStores stores_{machine_.folder()};
};

}  // namespace

std::unique_ptr<CertificateStoresUnderTest> MakeCertificateStoresUnderTest() {
  return std::make_unique<EmulatedCertificateStoresUnderTest>();
}

}  // namespace corvane
