// The root-certificate check and installation against CryptoAPI's real stores (under Wine
// here, which adds to "ROOT" without asking). The five certificates are removed from the
// prefix before and after, so a prefix stays as fresh as it was.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "checks/root_certificates.h"
#include "platform/resources.h"
#include "platform/win32/win32_util.h"
// After <windows.h>.
#include <wincrypt.h>

namespace corvane {
namespace {

void RemoveCarriedCertificates() {
  for (const char* name :
       {"ROOT_CA", "POLICY_CA", "OPERATION_CA", "OPERATION_CA1", "OPERATION_CA2"}) {
    const std::vector<std::uint8_t> der = LoadResourceBytes(name, "CER");
    BYTE hash[20];
    DWORD size = sizeof hash;
    if (der.empty() ||
        ::CryptHashCertificate(0, CALG_SHA1, 0, der.data(), static_cast<DWORD>(der.size()), hash,
                               &size) == FALSE) {
      continue;
    }
    CRYPT_HASH_BLOB blob{size, hash};
    for (const wchar_t* store : {L"ROOT", L"CA"}) {
      // The user's own registry store: deleting through the system store, which also shows
      // the machine's certificates, succeeds under Wine without removing anything.
      HCERTSTORE handle = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0,
                                          CERT_SYSTEM_STORE_CURRENT_USER, store);
      if (handle == nullptr) continue;
      while (PCCERT_CONTEXT found = ::CertFindCertificateInStore(
                 handle, X509_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH, &blob, nullptr)) {
        if (::CertDeleteCertificateFromStore(found) == FALSE) break;  // frees `found`
      }
      ::CertCloseStore(handle, 0);
    }
  }
}

class RootCertificatesWin32 : public ::testing::Test {
 protected:
  void SetUp() override { RemoveCarriedCertificates(); }
  void TearDown() override { RemoveCarriedCertificates(); }
};

TEST_F(RootCertificatesWin32, AFreshPrefixFailsAndTheInstallationPutsThatRight) {
  EXPECT_EQ(CheckRootCertificates(), win::kEFail);
  EXPECT_EQ(InstallRootCertificates(), win::kSOk);
  EXPECT_EQ(CheckRootCertificates(), win::kSOk);
  // A second installation finds everything there.
  EXPECT_EQ(InstallRootCertificates(), win::kSOk);
}

}  // namespace
}  // namespace corvane
