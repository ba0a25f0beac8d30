#pragma once

// Item 4: the CFCA root certificate in the current user's "ROOT" store and its four
// intermediate certificates in "CA", installed from the program's own "CER" resources.

#include <memory>
#include <span>
#include <string_view>

#include "platform/certificate_stores.h"
#include "platform/win_errors.h"

namespace corvane {

// S_OK when all five are present, else E_FAIL (a store that does not open, or the first
// certificate missing).
win::HResult CheckRootCertificates();

// Where the check looks: a system store's name and the subject text searched in it.
struct CertificateSearch {
  std::string_view store;
  std::string_view subject;
};
// The five searches of the check, in its order.
std::span<const CertificateSearch> RootCertificateSearches();

// Adds the missing ones: S_OK, E_ABORT when the user declined the root certificate (the
// others are then not looked at), E_FAIL when a certificate could not be added. A failed
// intermediate certificate does not stop the following ones; the result is the first failure.
win::HResult InstallRootCertificates();

// Adds the "CER" resource `name` to `store`, which is closed before this returns: S_OK,
// E_ABORT when the user declined, E_FAIL otherwise (a missing or empty resource included).
win::HResult AddCertificateFromResource(std::string_view name,
                                        std::unique_ptr<CertificateStore> store);

}  // namespace corvane
