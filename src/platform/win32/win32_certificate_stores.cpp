#include "platform/win32/win32_certificate_stores.h"

#include <climits>
#include <string>

#include "platform/win32/win32_util.h"

namespace corvane::win32 {
namespace {

class Win32CertificateStore final : public CertificateStore {
 public:
  explicit Win32CertificateStore(UniqueCertStore store) : store_(std::move(store)) {}

  bool ContainsSubject(std::string_view text) override {
    const std::wstring wide = Wide(text);
    const UniqueCertContext found(::CertFindCertificateInStore(
        store_.get(), X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_STR_W, wide.c_str(), nullptr));
    return found.valid();
  }

  std::vector<std::vector<std::uint8_t>> EncodedWithSubject(std::string_view text) override {
    const std::wstring wide = Wide(text);
    std::vector<std::vector<std::uint8_t>> found;
    UniqueCertContext at;
    // Each search frees the context it is given and returns the next match.
    while (true) {
      at.reset(::CertFindCertificateInStore(store_.get(), X509_ASN_ENCODING, 0,
                                            CERT_FIND_SUBJECT_STR_W, wide.c_str(), at.release()));
      if (!at.valid()) return found;
      const BYTE* der = at.get()->pbCertEncoded;
      found.emplace_back(der, der + at.get()->cbCertEncoded);
    }
  }

  std::uint32_t AddEncoded(std::span<const std::uint8_t> der) override {
    if (der.size() > static_cast<std::size_t>(ULONG_MAX)) return ERROR_INVALID_PARAMETER;
    UniqueCertContext added;
    if (::CertAddEncodedCertificateToStore(store_.get(), X509_ASN_ENCODING, der.data(),
                                           static_cast<DWORD>(der.size()),
                                           CERT_STORE_ADD_REPLACE_EXISTING, added.put()) == FALSE) {
      const std::uint32_t error = LastError();
      // A failure must read as one even if the call left no error behind.
      return error != 0 ? error : static_cast<std::uint32_t>(ERROR_INVALID_DATA);
    }
    return ERROR_SUCCESS;
  }

 private:
  UniqueCertStore store_;
};

}  // namespace

std::unique_ptr<CertificateStore> Win32CertificateStores::OpenSystemStore(std::string_view name) {
  const std::wstring wide = Wide(name);
  UniqueCertStore store(::CertOpenSystemStoreW(0, wide.c_str()));
  if (!store.valid()) return nullptr;
  return std::make_unique<Win32CertificateStore>(std::move(store));
}

}  // namespace corvane::win32
