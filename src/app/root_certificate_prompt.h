#pragma once

// The question asked before a certificate goes into the current user's "ROOT" store. Windows
// asks it with its own security warning; the emulated PC asks it through the host's prompts,
// with the same words, so the user sees and answers it wherever the page is shown.

#include "platform/certificate_stores.h"
#include "ui/prompts.h"

namespace corvane {

// Windows' security warning for `what`: a choice whose link 6 (是) adds the certificate and
// 7 (否) does not. It has no string-table texts: the words are the system's, not ours.
Prompt RootCertificatePrompt(const RootCertificateConfirmation& what);

// While it lives, the platform's certificate stores ask through `host`; only the answer 6
// consents. Afterwards they have no one to ask again, which declines.
class RootCertificateConfirmationHook {
 public:
  explicit RootCertificateConfirmationHook(PromptHost& host);
  RootCertificateConfirmationHook(const RootCertificateConfirmationHook&) = delete;
  RootCertificateConfirmationHook& operator=(const RootCertificateConfirmationHook&) = delete;
  RootCertificateConfirmationHook(RootCertificateConfirmationHook&&) = delete;
  RootCertificateConfirmationHook& operator=(RootCertificateConfirmationHook&&) = delete;
  ~RootCertificateConfirmationHook();

 private:
  CertificateStores& stores_;  // the platform's when the hook was made
};

}  // namespace corvane
