#include "checks/root_certificates.h"

#include <array>
#include <cstdint>
#include <vector>

#include "platform/platform.h"
#include "platform/resources.h"

namespace corvane {
namespace {

struct CertificateStep {
  std::string_view store;
  std::string_view subject;   // searched as a substring of the subject, without case
  std::string_view resource;  // type "CER"
};

// The order of all work: the root first, since declining it ends the installation.
constexpr std::array<CertificateStep, 5> kSteps = {{
    {"ROOT", "CFCA Root CA", "ROOT_CA"},
    {"CA", "CFCA Policy CA", "POLICY_CA"},
    {"CA", "CFCA Operation CA", "OPERATION_CA"},
    {"CA", "CFCA Operation CA1", "OPERATION_CA1"},
    {"CA", "CFCA Operation CA2", "OPERATION_CA2"},
}};

std::unique_ptr<CertificateStore> Open(std::string_view name) {
  return CurrentPlatform().certificateStores().OpenSystemStore(name);
}

bool Present(const CertificateStep& step) {
  const std::unique_ptr<CertificateStore> store = Open(step.store);
  return store && store->ContainsSubject(step.subject);
}

// Adds the step's certificate when it is missing: S_OK when it was there or is now.
win::HResult InstallStep(const CertificateStep& step) {
  if (Present(step)) return win::kSOk;
  std::unique_ptr<CertificateStore> store = Open(step.store);
  if (!store) return win::kEFail;
  return AddCertificateFromResource(step.resource, std::move(store));
}

constexpr std::array<CertificateSearch, kSteps.size()> kSearches = {{
    {kSteps[0].store, kSteps[0].subject},
    {kSteps[1].store, kSteps[1].subject},
    {kSteps[2].store, kSteps[2].subject},
    {kSteps[3].store, kSteps[3].subject},
    {kSteps[4].store, kSteps[4].subject},
}};

}  // namespace

std::span<const CertificateSearch> RootCertificateSearches() { return kSearches; }

win::HResult CheckRootCertificates() {
  for (const CertificateStep& step : kSteps) {
    const std::unique_ptr<CertificateStore> store = Open(step.store);
    if (!store || !store->ContainsSubject(step.subject)) return win::kEFail;
  }
  return win::kSOk;
}

win::HResult InstallRootCertificates() {
  // Without the root the others would not be trusted: a refusal or failure ends here.
  if (const win::HResult root = InstallStep(kSteps[0]); root < 0) return root;
  win::HResult result = win::kSOk;
  for (std::size_t i = 1; i < kSteps.size(); ++i) {
    const win::HResult step = InstallStep(kSteps[i]);
    // A later success must not hide an earlier failure.
    if (result >= 0) result = step;
  }
  return result;
}

win::HResult AddCertificateFromResource(std::string_view name,
                                        std::unique_ptr<CertificateStore> store) {
  const std::vector<std::uint8_t> bytes = LoadResourceBytes(ResourceId(name), "CER");
  const std::uint32_t error = store->AddEncoded(bytes);
  store.reset();
  if (error == win::kErrorSuccess) return win::kSOk;
  // The refusal comes as ERROR_CANCELLED or, from some CryptoAPI versions, as its HRESULT.
  const bool declined =
      error == win::kErrorCancelled ||
      error == static_cast<std::uint32_t>(win::HResultFromWin32(win::kErrorCancelled));
  return declined ? win::kEAbort : win::kEFail;
}

}  // namespace corvane
