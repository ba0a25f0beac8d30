#pragma once

#include "platform/certificate_stores.h"

namespace corvane::win32 {

// CryptoAPI's system stores of the current user. Windows asks the user itself before a
// certificate goes into "ROOT", so the confirmation set here is never used.
class Win32CertificateStores final : public CertificateStores {
 public:
  std::unique_ptr<CertificateStore> OpenSystemStore(std::string_view name) override;
  void SetRootConfirmation(ConfirmRoot /*confirm*/) override {}
};

}  // namespace corvane::win32
