#pragma once

// How the certificate-store tests get their stores: natively the stores of an emulated PC of
// their own, under Wine the real stores of the Wine prefix, from which the certificates of
// cert_fixtures.inc are removed before and after each test.

#include <filesystem>
#include <memory>

#include "platform/certificate_stores.h"

namespace corvane {

class CertificateStoresUnderTest {
 public:
  CertificateStoresUnderTest() = default;
  CertificateStoresUnderTest(const CertificateStoresUnderTest&) = delete;
  CertificateStoresUnderTest& operator=(const CertificateStoresUnderTest&) = delete;
  CertificateStoresUnderTest(CertificateStoresUnderTest&&) = delete;
  CertificateStoresUnderTest& operator=(CertificateStoresUnderTest&&) = delete;
  virtual ~CertificateStoresUnderTest() = default;

  virtual CertificateStores& stores() = 0;
  // The emulated PC's certs/ folder; empty on Windows, where what only the emulation has is
  // not tested.
  [[nodiscard]] virtual std::filesystem::path emulatedCerts() const = 0;
};

std::unique_ptr<CertificateStoresUnderTest> MakeCertificateStoresUnderTest();

}  // namespace corvane
