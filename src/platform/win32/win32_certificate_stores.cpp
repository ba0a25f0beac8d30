#include "platform/win32/win32_certificate_stores.h"

#include "platform/win32/win32_util.h"
// After <windows.h>, which the lean settings keep from including it.
#include <wincrypt.h>

#include <climits>
#include <string>

namespace corvane::win32 {
namespace {

// A certificate context from a search or an add; freed when destroyed.
class CertContext {
 public:
  explicit CertContext(PCCERT_CONTEXT context) : context_(context) {}
  CertContext(const CertContext&) = delete;
  CertContext& operator=(const CertContext&) = delete;
  CertContext(CertContext&&) = delete;
  CertContext& operator=(CertContext&&) = delete;
  ~CertContext() {
    if (context_ != nullptr) ::CertFreeCertificateContext(context_);
  }
  [[nodiscard]] bool valid() const { return context_ != nullptr; }

 private:
  PCCERT_CONTEXT context_;
};

class Win32CertificateStore final : public CertificateStore {
 public:
  explicit Win32CertificateStore(HCERTSTORE store) : store_(store) {}
  Win32CertificateStore(const Win32CertificateStore&) = delete;
  Win32CertificateStore& operator=(const Win32CertificateStore&) = delete;
  Win32CertificateStore(Win32CertificateStore&&) = delete;
  Win32CertificateStore& operator=(Win32CertificateStore&&) = delete;
  ~Win32CertificateStore() override { ::CertCloseStore(store_, 0); }

  bool ContainsSubject(std::string_view text) override {
    const std::wstring wide = Wide(text);
    const CertContext found(::CertFindCertificateInStore(
        store_, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_STR_W, wide.c_str(), nullptr));
    return found.valid();
  }

  std::uint32_t AddEncoded(std::span<const std::uint8_t> der) override {
    if (der.size() > static_cast<std::size_t>(ULONG_MAX)) return ERROR_INVALID_PARAMETER;
    PCCERT_CONTEXT added = nullptr;
    if (::CertAddEncodedCertificateToStore(store_, X509_ASN_ENCODING, der.data(),
                                           static_cast<DWORD>(der.size()),
                                           CERT_STORE_ADD_REPLACE_EXISTING, &added) == FALSE) {
      const std::uint32_t error = LastError();
      // A failure must read as one even if the call left no error behind.
      return error != 0 ? error : static_cast<std::uint32_t>(ERROR_INVALID_DATA);
    }
    const CertContext owned(added);
    return ERROR_SUCCESS;
  }

 private:
  HCERTSTORE store_;
};

}  // namespace

std::unique_ptr<CertificateStore> Win32CertificateStores::OpenSystemStore(std::string_view name) {
  const std::wstring wide = Wide(name);
  HCERTSTORE store = ::CertOpenSystemStoreW(0, wide.c_str());
  if (store == nullptr) return nullptr;
  return std::make_unique<Win32CertificateStore>(store);
}

}  // namespace corvane::win32
