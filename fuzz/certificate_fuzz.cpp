// The emulated certificate stores' reading of DER files, which come from the machine folder:
// any bytes must give a certificate with its SHA-1 or one of the decoding errors, and the
// rendering of a name must not crash.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "platform/emulated/emulated_certificate_stores.h"
#include "platform/win_errors.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace corvane;
  const std::span<const std::uint8_t> bytes(data, size);
  emulated::CertificateFacts facts;
  const std::uint32_t error = emulated::ReadCertificate(bytes, facts);
  if (error == 0) {
    if (facts.sha1.size() != 40) std::abort();
    if (emulated::ThumbprintText(facts.sha1).size() != 44) std::abort();
  } else if (error != win::kCryptEAsn1Eod && error != win::kCryptEAsn1BadTag &&
             error != win::kCryptEAsn1Corrupt) {
    std::abort();
  }
  // The same bytes read as a bare name.
  const std::string name = emulated::SimpleNameString(bytes);
  (void)name;
  return 0;
}
