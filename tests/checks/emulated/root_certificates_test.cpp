// The root-certificate check and installation on an emulated PC, whose stores a test can fill
// and whose confirmation before a root certificate it answers; and the certificates the
// program carries.

#include "checks/root_certificates.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <openssl/asn1.h>
#include <openssl/bn.h>
#include <openssl/x509.h>

#include <array>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "emulated/scratch_machine.h"
#include "forwarding_platform.h"
#include "platform/emulated/emulated_certificate_stores.h"
#include "platform/emulated/emulated_platform.h"
#include "platform/platform.h"
#include "platform/resources.h"

namespace corvane {
namespace {

using ::testing::ElementsAreArray;

constexpr std::array<const char*, 5> kNames = {"ROOT_CA", "POLICY_CA", "OPERATION_CA",
                                               "OPERATION_CA1", "OPERATION_CA2"};

std::vector<std::uint8_t> Carried(std::string_view name) {
  return LoadResourceBytes(ResourceId(name), "CER");
}

// The carried certificate with these bytes, or "?".
std::string NameOf(std::span<const std::uint8_t> der) {
  for (const char* name : kNames) {
    const std::vector<std::uint8_t> bytes = Carried(name);
    if (std::equal(bytes.begin(), bytes.end(), der.begin(), der.end())) return name;
  }
  return "?";
}

// The emulated stores with a log of what the checks do to them, and failures on demand.
class RecordingStores final : public CertificateStores {
 public:
  explicit RecordingStores(CertificateStores& inner) : inner_(inner) {}

  std::unique_ptr<CertificateStore> OpenSystemStore(std::string_view name) override {
    log.push_back("open " + std::string(name));
    if (unopenable.contains(std::string(name))) return nullptr;
    auto store = inner_.OpenSystemStore(name);
    return store ? std::make_unique<Store>(*this, std::string(name), std::move(store)) : nullptr;
  }
  void SetRootConfirmation(ConfirmRoot confirm) override {
    inner_.SetRootConfirmation(std::move(confirm));
  }

  std::vector<std::string> log;
  std::set<std::string> unopenable;  // stores that do not open
  std::set<std::string> refused;     // certificates whose add fails with access denied

  // The adds alone, as "STORE NAME result".
  [[nodiscard]] std::vector<std::string> adds() const {
    std::vector<std::string> out;
    for (const std::string& line : log) {
      if (line.starts_with("add ")) out.push_back(line.substr(4));
    }
    return out;
  }

 private:
  class Store final : public CertificateStore {
   public:
    Store(RecordingStores& owner, std::string name, std::unique_ptr<CertificateStore> inner)
        : owner_(owner), name_(std::move(name)), inner_(std::move(inner)) {}
    ~Store() override { owner_.log.push_back("close " + name_); }
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;
    Store(Store&&) = delete;
    Store& operator=(Store&&) = delete;

    bool ContainsSubject(std::string_view text) override {
      const bool found = inner_->ContainsSubject(text);
      owner_.log.push_back("find " + name_ + " " + std::string(text) + (found ? " yes" : " no"));
      return found;
    }
    std::uint32_t AddEncoded(std::span<const std::uint8_t> der) override {
      const std::string name = NameOf(der);
      const std::uint32_t error =
          owner_.refused.contains(name) ? win::kErrorAccessDenied : inner_->AddEncoded(der);
      owner_.log.push_back("add " + name_ + " " + name + " " + std::to_string(error));
      return error;
    }

   private:
    RecordingStores& owner_;
    std::string name_;
    std::unique_ptr<CertificateStore> inner_;
  };

  CertificateStores& inner_;
};

class RecordingPlatform final : public ForwardingPlatform {
 public:
  explicit RecordingPlatform(const std::filesystem::path& root) : inner_(root) {}

  CertificateStores& certificateStores() override { return stores; }

 protected:
  Platform& inner() override { return inner_; }

 public:
  emulated::EmulatedPlatform inner_;
  RecordingStores stores{inner_.certificateStores()};
};

struct Machine {
  Machine() {
    auto owned = std::make_unique<RecordingPlatform>(scratch.folder().root());
    platform = owned.get();
    scoped = std::make_unique<ScopedPlatform>(std::move(owned));
    platform->stores.SetRootConfirmation([this](const RootCertificateConfirmation& what) {
      asked.push_back(what.subject);
      return consent;
    });
  }

  // Puts a carried certificate into a store folder as a user might have it.
  void put(const std::filesystem::path& below, std::string_view name) const {
    const std::filesystem::path dir = scratch.folder().root() / "certs" / below;
    std::filesystem::create_directories(dir);
    const std::vector<std::uint8_t> bytes = Carried(name);
    std::ofstream(dir / (std::string(name) + ".cer"), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }

  emulated::ScratchMachine scratch;
  RecordingPlatform* platform = nullptr;
  std::unique_ptr<ScopedPlatform> scoped;
  bool consent = true;
  std::vector<std::string> asked;
};

TEST(RootCertificates, CheckAndInstallFollowTheStoresAndTheUsersAnswer) {
  const std::vector<std::string> intermediates = {"POLICY_CA", "OPERATION_CA", "OPERATION_CA1",
                                                  "OPERATION_CA2"};
  struct Case {
    const char* name;
    std::vector<std::string> userRoot, userCa, machineRoot;
    bool consent;
    win::HResult checkBefore, install, checkAfter;
    std::vector<std::string> adds;  // "STORE NAME error", in order
    bool caLookedAt;
  };
  const Case cases[] = {
      {"all five present",
       {"ROOT_CA"},
       intermediates,
       {},
       true,
       win::kSOk,
       win::kSOk,
       win::kSOk,
       {},
       true},
      {"only the root missing",
       {},
       intermediates,
       {},
       true,
       win::kEFail,
       win::kSOk,
       win::kSOk,
       {"ROOT ROOT_CA 0"},
       true},
      {"nothing there",
       {},
       {},
       {},
       true,
       win::kEFail,
       win::kSOk,
       win::kSOk,
       {"ROOT ROOT_CA 0", "CA POLICY_CA 0", "CA OPERATION_CA 0", "CA OPERATION_CA1 0",
        "CA OPERATION_CA2 0"},
       true},
      {"the root declined",
       {},
       {},
       {},
       false,
       win::kEFail,
       win::kEAbort,
       win::kEFail,
       {"ROOT ROOT_CA 1223"},
       false},
      // "CFCA Operation CA" is part of "CFCA Operation CA1": step 3 counts as present.
      {"Operation CA1 but not Operation CA",
       {"ROOT_CA"},
       {"POLICY_CA", "OPERATION_CA1", "OPERATION_CA2"},
       {},
       true,
       win::kSOk,
       win::kSOk,
       win::kSOk,
       {},
       true},
      {"the root only in the machine's store",
       {},
       intermediates,
       {"ROOT_CA"},
       false,
       win::kSOk,
       win::kSOk,
       win::kSOk,
       {},
       true},
      {"one intermediate missing",
       {"ROOT_CA"},
       {"POLICY_CA", "OPERATION_CA1"},
       {},
       true,
       win::kEFail,
       win::kSOk,
       win::kSOk,
       {"CA OPERATION_CA2 0"},
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Machine machine;
    machine.consent = c.consent;
    for (const std::string& name : c.userRoot) machine.put("user/ROOT", name);
    for (const std::string& name : c.userCa) machine.put("user/CA", name);
    for (const std::string& name : c.machineRoot) machine.put("machine/ROOT", name);
    RecordingStores& stores = machine.platform->stores;

    EXPECT_EQ(CheckRootCertificates(), c.checkBefore);
    stores.log.clear();
    EXPECT_EQ(InstallRootCertificates(), c.install);
    EXPECT_THAT(stores.adds(), ElementsAreArray(c.adds));
    EXPECT_EQ(std::count(stores.log.begin(), stores.log.end(), "open CA") > 0, c.caLookedAt);
    // Every store opened is closed before the operation returns.
    EXPECT_EQ(std::count_if(stores.log.begin(), stores.log.end(),
                            [](const std::string& line) { return line.starts_with("open "); }),
              std::count_if(stores.log.begin(), stores.log.end(),
                            [](const std::string& line) { return line.starts_with("close "); }));
    const bool rootAdded = !c.adds.empty() && c.adds.front().starts_with("ROOT ");
    EXPECT_EQ(machine.asked, rootAdded ? std::vector<std::string>{"CN, CFCA Root CA"}
                                       : std::vector<std::string>{});
    EXPECT_EQ(CheckRootCertificates(), c.checkAfter);
  }
}

TEST(RootCertificates, AFailedIntermediateDoesNotStopTheOthersNorHideBehindALaterSuccess) {
  Machine machine;
  RecordingStores& stores = machine.platform->stores;
  stores.refused = {"POLICY_CA"};
  EXPECT_EQ(InstallRootCertificates(), win::kEFail);
  EXPECT_THAT(stores.adds(),
              ElementsAreArray({"ROOT ROOT_CA 0", "CA POLICY_CA 5", "CA OPERATION_CA 0",
                                "CA OPERATION_CA1 0", "CA OPERATION_CA2 0"}));
  EXPECT_EQ(CheckRootCertificates(), win::kEFail);
}

TEST(RootCertificates, AStoreThatDoesNotOpenFailsTheCheckAndItsSteps) {
  {
    Machine machine;
    machine.platform->stores.unopenable = {"ROOT"};
    EXPECT_EQ(CheckRootCertificates(), win::kEFail);
    EXPECT_EQ(InstallRootCertificates(), win::kEFail);
    EXPECT_TRUE(machine.platform->stores.adds().empty());
  }
  {
    Machine machine;
    machine.platform->stores.unopenable = {"CA"};
    EXPECT_EQ(InstallRootCertificates(), win::kEFail);
    EXPECT_THAT(machine.platform->stores.adds(), ElementsAreArray({"ROOT ROOT_CA 0"}));
    EXPECT_EQ(CheckRootCertificates(), win::kEFail);
  }
}

TEST(RootCertificates, AddingAMissingResourceFailsAndClosesTheStore) {
  Machine machine;
  RecordingStores& stores = machine.platform->stores;
  EXPECT_EQ(AddCertificateFromResource("NO_SUCH_CA", stores.OpenSystemStore("CA")), win::kEFail);
  EXPECT_EQ(stores.log.back(), "close CA");
  EXPECT_EQ(AddCertificateFromResource("policy_ca", stores.OpenSystemStore("CA")), win::kSOk);
}

// The certificates the program carries: the real CFCA root, and stand-ins for the four
// intermediate ones with the real ones' names, serial numbers and validity.
TEST(RootCertificates, TheCarriedCertificatesAreTheCfcaOnes) {
  struct Expected {
    const char* name;
    const char* subject;
    const char* issuer;
    const char* serial;
    std::tm from, until;  // UTC
  };
  auto utc = [](int y, int mo, int d, int h, int mi, int s) {
    std::tm t{};
    t.tm_year = y - 1900, t.tm_mon = mo - 1, t.tm_mday = d, t.tm_hour = h, t.tm_min = mi,
    t.tm_sec = s;
    return t;
  };
  const Expected expected[] = {
      {"ROOT_CA", "CN, CFCA Root CA", "CN, CFCA Root CA", "39446898", utc(2000, 6, 12, 4, 7, 6),
       utc(2020, 6, 12, 4, 37, 6)},
      {"POLICY_CA", "CN, CFCA Policy CA", "CN, CFCA Root CA", "394468AB",
       utc(2000, 6, 12, 6, 36, 55), utc(2020, 6, 12, 4, 37, 6)},
      {"OPERATION_CA", "CN, CFCA Operation CA", "CN, CFCA Policy CA", "39448BB9",
       utc(2000, 6, 12, 7, 49, 52), utc(2020, 6, 12, 4, 37, 6)},
      {"OPERATION_CA1", "CN, CFCA Operation CA1", "CN, CFCA Root CA", "39448A6D",
       utc(2003, 8, 28, 9, 42, 46), utc(2020, 6, 12, 4, 37, 6)},
      {"OPERATION_CA2", "CN, CFCA Operation CA2", "CN, CFCA Root CA", "39449877",
       utc(2004, 12, 6, 6, 29, 37), utc(2019, 11, 20, 16, 0, 0)},
  };
  Machine machine;  // the program's resources, through the platform
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.name);
    const std::vector<std::uint8_t> der = Carried(e.name);
    emulated::CertificateFacts facts;
    ASSERT_EQ(emulated::ReadCertificate(der, facts), 0U);
    EXPECT_EQ(facts.subject, e.subject);
    EXPECT_EQ(facts.issuer, e.issuer);
    if (std::string_view(e.name) == "ROOT_CA") {
      EXPECT_EQ(der.size(), 717U);
      EXPECT_EQ(facts.sha1, "31BD6AEF73031C5A49338E7A06040DD815EF7512");
    }
    const unsigned char* next = der.data();
    const std::unique_ptr<X509, decltype(&X509_free)> cert(
        d2i_X509(nullptr, &next, static_cast<long>(der.size())), X509_free);
    ASSERT_NE(cert, nullptr);
    const std::unique_ptr<BIGNUM, decltype(&BN_free)> serial(
        ASN1_INTEGER_to_BN(X509_get0_serialNumber(cert.get()), nullptr), BN_free);
    const std::unique_ptr<char, void (*)(char*)> hex(BN_bn2hex(serial.get()),
                                                     [](char* p) { OPENSSL_free(p); });
    EXPECT_STREQ(hex.get(), e.serial);
    std::tm from{};
    std::tm until{};
    ASSERT_EQ(ASN1_TIME_to_tm(X509_get0_notBefore(cert.get()), &from), 1);
    ASSERT_EQ(ASN1_TIME_to_tm(X509_get0_notAfter(cert.get()), &until), 1);
    std::tm expectedFrom = e.from;
    std::tm expectedUntil = e.until;
    EXPECT_EQ(timegm(&from), timegm(&expectedFrom));
    EXPECT_EQ(timegm(&until), timegm(&expectedUntil));
  }
}

}  // namespace
}  // namespace corvane
