#pragma once

// The current user's system certificate stores as CryptoAPI shows them: CertOpenSystemStore
// with no provider, CertFindCertificateInStore with CERT_FIND_SUBJECT_STR and
// CertAddEncodedCertificateToStore with CERT_STORE_ADD_REPLACE_EXISTING. Windows: the real
// calls. The emulated PC: folders of DER files per store (user "ROOT" and "CA", machine
// "ROOT"), the user's "ROOT" showing the machine's too.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// An open system store (HCERTSTORE); closed when destroyed.
class CertificateStore {
 public:
  CertificateStore() = default;
  CertificateStore(const CertificateStore&) = delete;
  CertificateStore& operator=(const CertificateStore&) = delete;
  CertificateStore(CertificateStore&&) = delete;
  CertificateStore& operator=(CertificateStore&&) = delete;
  virtual ~CertificateStore() = default;

  // Whether a certificate whose subject name, rendered as text (CertNameToStr with
  // CERT_SIMPLE_NAME_STR), contains `text`, without regard to case.
  virtual bool ContainsSubject(std::string_view text) = 0;

  // The DER bytes of every certificate ContainsSubject would find for `text`, in the store's
  // order; empty when there is none. A machine snapshot copies the certificates the checks
  // look for with it.
  virtual std::vector<std::vector<std::uint8_t>> EncodedWithSubject(std::string_view /*text*/) {
    return {};
  }

  // Adds a DER-encoded X.509 certificate, replacing an existing copy. Returns 0 or the
  // Windows error: ERROR_CANCELLED when the user declined adding a root certificate,
  // CRYPT_E_ASN1_BADTAG or another error for bytes that are not a certificate.
  virtual std::uint32_t AddEncoded(std::span<const std::uint8_t> der) = 0;
};

// What the user is asked before a certificate goes into their "ROOT" store, as Windows asks.
struct RootCertificateConfirmation {
  std::string subject;     // simple rendering of the subject name
  std::string issuer;      // simple rendering of the issuer name
  std::string thumbprint;  // SHA-1 of the DER bytes, as Windows shows it: "31BD6AEF ..."
};

class CertificateStores {
 public:
  CertificateStores() = default;
  CertificateStores(const CertificateStores&) = delete;
  CertificateStores& operator=(const CertificateStores&) = delete;
  CertificateStores(CertificateStores&&) = delete;
  CertificateStores& operator=(CertificateStores&&) = delete;
  virtual ~CertificateStores() = default;

  // CertOpenSystemStore(0, name) for the current user; null when it cannot be opened.
  virtual std::unique_ptr<CertificateStore> OpenSystemStore(std::string_view name) = 0;

  // Who answers the question before a root certificate is added (true: add it). Windows
  // asks with its own dialog and ignores this; the emulated PC asks it, and without one it
  // declines. Set by the host before the dialog runs.
  using ConfirmRoot = std::function<bool(const RootCertificateConfirmation&)>;
  virtual void SetRootConfirmation(ConfirmRoot confirm) = 0;
};

}  // namespace corvane
