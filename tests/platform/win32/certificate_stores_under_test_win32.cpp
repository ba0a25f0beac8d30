#include "certificate_stores_under_test.h"
#include "platform/win32/win32_certificate_stores.h"
#include "platform/win32/win32_util.h"
// After <windows.h>.
#include <wincrypt.h>

#include <span>

namespace corvane {
namespace {

#include "fixtures/cert_fixtures.inc"

// Deletes every copy of `der` from the current user's store `name`.
void Remove(const wchar_t* name, std::span<const unsigned char> der) {
  // The user's own registry store: deleting through the system store, which also shows the
  // machine's certificates, succeeds under Wine without removing anything.
  HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0,
                                     CERT_SYSTEM_STORE_CURRENT_USER, name);
  if (store == nullptr) return;
  BYTE hash[20];
  DWORD size = sizeof hash;
  if (::CryptHashCertificate(0, CALG_SHA1, 0, der.data(), static_cast<DWORD>(der.size()), hash,
                             &size) != FALSE) {
    CRYPT_HASH_BLOB blob{size, hash};
    while (PCCERT_CONTEXT found = ::CertFindCertificateInStore(
               store, X509_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH, &blob, nullptr)) {
      // Frees `found`, also when the deletion fails; a store that will not let go ends here.
      if (::CertDeleteCertificateFromStore(found) == FALSE) break;
    }
  }
  ::CertCloseStore(store, 0);
}

void RemoveFixtures() {
  for (const wchar_t* name : {L"CA", L"ROOT"}) {
    Remove(name, kCertAlpha);
    Remove(name, kCertQuoted);
    Remove(name, kCertBeta);
  }
}

class Win32CertificateStoresUnderTest final : public CertificateStoresUnderTest {
 public:
  Win32CertificateStoresUnderTest() { RemoveFixtures(); }  // left over by a crashed run
  ~Win32CertificateStoresUnderTest() override { RemoveFixtures(); }
  Win32CertificateStoresUnderTest(const Win32CertificateStoresUnderTest&) = delete;
  Win32CertificateStoresUnderTest& operator=(const Win32CertificateStoresUnderTest&) = delete;

  CertificateStores& stores() override { return stores_; }
  [[nodiscard]] std::filesystem::path emulatedCerts() const override { return {}; }

 private:
  win32::Win32CertificateStores stores_;
};

}  // namespace

std::unique_ptr<CertificateStoresUnderTest> MakeCertificateStoresUnderTest() {
  return std::make_unique<Win32CertificateStoresUnderTest>();
}

}  // namespace corvane
