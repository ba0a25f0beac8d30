#pragma once

// The emulated PC's certificate stores: folders of DER files below the machine folder,
//   certs/user/<STORE>/     the current user's system stores ("ROOT", "CA", ...)
//   certs/machine/ROOT/     the local machine's root store, shown inside the user's "ROOT"
// Files the stores write are named by the certificate's SHA-1 (40 upper-case hex digits, as
// Windows names them in the registry) plus ".cer"; any other file in a store folder that
// holds one DER certificate counts too, and files that do not are skipped. Store names
// compare without regard to ASCII case; a store that does not exist is created empty when
// opened, as CertOpenSystemStore creates a new name. Names with a path separator, "." or
// ".." cannot be opened.

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <span>
#include <string>

#include "platform/certificate_stores.h"
#include "platform/emulated/machine_folder.h"

namespace corvane::emulated {

// What the stores read from one certificate.
struct CertificateFacts {
  std::string subject;  // CertNameToStr(CERT_SIMPLE_NAME_STR) rendering
  std::string issuer;
  std::string sha1;  // 40 upper-case hex digits of the DER bytes
};

// Reads `der` as exactly one DER-encoded X.509 certificate. Returns 0, or the CryptoAPI
// error for bytes that are not one: CRYPT_E_ASN1_EOD when they end early (or are empty),
// CRYPT_E_ASN1_BADTAG when they do not start as a certificate, CRYPT_E_ASN1_CORRUPT
// otherwise (trailing bytes included).
std::uint32_t ReadCertificate(std::span<const std::uint8_t> der, CertificateFacts& facts);

// The simple rendering of a DER-encoded X.501 name: the attribute values in the name's
// order, joined by ", " (" + " inside one multi-valued RDN), a value quoted ("...", inner
// quotes doubled) when it starts or ends with white space or holds one of + , " = < > ; #
// or a line feed. Empty when `der` is not a name.
std::string SimpleNameString(std::span<const std::uint8_t> der);

// "31BD6AEF 73031C5A ...": a SHA-1 in groups of eight, as Windows shows a thumbprint.
std::string ThumbprintText(const std::string& sha1);

class EmulatedCertificateStores final : public CertificateStores {
 public:
  explicit EmulatedCertificateStores(const MachineFolder& folder);

  std::unique_ptr<CertificateStore> OpenSystemStore(std::string_view name) override;
  void SetRootConfirmation(ConfirmRoot confirm) override;

  // Asks the confirmation; no confirmation declines.
  bool ConfirmRootAdd(const RootCertificateConfirmation& what);

  // What made the stores unreadable when the machine was opened, one "<path>: <reason>" line
  // each: a store folder (or certs, certs/user, certs/machine) that is a file or a symbolic
  // link or cannot be listed, or a file in a store that cannot be opened. Empty when all is
  // well, also when there are no stores yet.
  [[nodiscard]] const std::string& loadError() const { return loadError_; }

  // certs/user and certs/machine: the store folders are below them.
  [[nodiscard]] std::filesystem::path userDir() const { return root_ / "user"; }
  [[nodiscard]] std::filesystem::path machineDir() const { return root_ / "machine"; }

 private:
  std::filesystem::path root_;
  std::mutex confirmMutex_;  // set by the host's thread, asked on the dialog thread
  ConfirmRoot confirm_;
  std::string loadError_;
};

}  // namespace corvane::emulated
