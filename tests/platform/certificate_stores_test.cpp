// The certificate stores the root-certificate check relies on, run against the emulated PC
// natively and against CryptoAPI's real stores under Wine.

#include "platform/certificate_stores.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "certificate_stores_under_test.h"
#include "platform/win_errors.h"

namespace corvane {
namespace {

#include "fixtures/cert_fixtures.inc"

using Bytes = std::vector<std::uint8_t>;

Bytes Der(std::span<const unsigned char> bytes) { return {bytes.begin(), bytes.end()}; }

class CertificateStoresTest : public ::testing::Test {
 protected:
  std::unique_ptr<CertificateStore> Open(std::string_view name) {
    std::unique_ptr<CertificateStore> store = stores().OpenSystemStore(name);
    EXPECT_NE(store, nullptr) << name;
    return store;
  }
  CertificateStores& stores() { return under_->stores(); }
  [[nodiscard]] bool emulated() const { return !under_->emulatedCerts().empty(); }
  [[nodiscard]] std::filesystem::path certs() const { return under_->emulatedCerts(); }

  std::unique_ptr<CertificateStoresUnderTest> under_ = MakeCertificateStoresUnderTest();
};

TEST_F(CertificateStoresTest, AnAddedCertificateIsFoundByAnyPartOfItsSubjectWithoutCase) {
  {
    auto store = Open("CA");
    ASSERT_NE(store, nullptr);
    EXPECT_FALSE(store->ContainsSubject("Corvane Test Alpha"));
    EXPECT_EQ(store->AddEncoded(Der(kCertAlpha)), win::kErrorSuccess);
    EXPECT_EQ(store->AddEncoded(Der(kCertQuoted)), win::kErrorSuccess);
  }
  // Another handle, spelled in another case, sees the same store.
  auto store = Open("ca");
  ASSERT_NE(store, nullptr);
  struct Case {
    const char* text;
    bool found;
  };
  const Case cases[] = {
      {"Corvane Test Alpha", true},
      {"cORVANE tEST aLPHA", true},
      {"Test Alph", true},
      {"XX, Corvane Test Alpha", true},  // values joined by ", " in the name's order
      {"Corvane Test Alpha, XX", false},
      {"O=Corvane", false},  // no attribute names in the simple rendering
      {"Corvane Test Beta", false},
      // Quoting: commas, quotes and edge blanks; multi-valued RDNs joined by " + ".
      {"XX, \"Corvane, \"\"Quoted\"\" Test\", Part Two + Part One, \" Spaced\"", true},
      {"Corvane, \"Quoted\" Test", false},
      {"测试 UNICODE", true},  // UTF-8 in and out; ASCII letters fold
  };
  for (const Case& c : cases) {
    EXPECT_EQ(store->ContainsSubject(c.text), c.found) << c.text;
  }
}

TEST_F(CertificateStoresTest, AddingAgainReplacesTheCopyAndStoresStayApart) {
  {
    auto store = Open("CA");
    ASSERT_NE(store, nullptr);
    ASSERT_EQ(store->AddEncoded(Der(kCertBeta)), win::kErrorSuccess);
    EXPECT_EQ(store->AddEncoded(Der(kCertBeta)), win::kErrorSuccess);
    EXPECT_TRUE(store->ContainsSubject("Corvane Test Beta"));
  }
  auto root = Open("ROOT");
  ASSERT_NE(root, nullptr);
  EXPECT_FALSE(root->ContainsSubject("Corvane Test Beta"));
  if (emulated()) {
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(certs() / "user" / "CA")) {
      EXPECT_EQ(entry.path().filename().string(), "AFD71057B9041858E8A656FD6A9A648FA07FA470.cer");
      ++files;
    }
    EXPECT_EQ(files, 1U);
  }
}

// A snapshot of a PC copies what the subject searches find: every match, as encoded.
TEST_F(CertificateStoresTest, EverySubjectMatchIsHandedOutEncoded) {
  auto store = Open("CA");
  ASSERT_NE(store, nullptr);
  ASSERT_EQ(store->AddEncoded(Der(kCertAlpha)), win::kErrorSuccess);
  ASSERT_EQ(store->AddEncoded(Der(kCertBeta)), win::kErrorSuccess);
  EXPECT_EQ(store->EncodedWithSubject("corvane test ALPHA"), std::vector<Bytes>{Der(kCertAlpha)});
  EXPECT_TRUE(store->EncodedWithSubject("No Such Subject").empty());
  const std::vector<Bytes> both = store->EncodedWithSubject("Corvane Test");
  EXPECT_NE(std::find(both.begin(), both.end(), Der(kCertAlpha)), both.end());
  EXPECT_NE(std::find(both.begin(), both.end(), Der(kCertBeta)), both.end());
}

TEST_F(CertificateStoresTest, BytesThatAreNotOneCertificateAreRefused) {
  const Bytes alpha = Der(kCertAlpha);
  struct Case {
    const char* name;
    Bytes bytes;
    std::uint32_t error;
  };
  std::vector<Case> cases = {
      {"empty", {}, win::kCryptEAsn1Eod},
      {"cut short", Bytes(alpha.begin(), alpha.end() - 10), win::kCryptEAsn1Eod},
      {"not a sequence", {0x04, 0x03, 'a', 'b', 'c'}, win::kCryptEAsn1BadTag},
      {"a sequence of something else", {0x30, 0x03, 0x02, 0x01, 0x01}, win::kCryptEAsn1Corrupt},
  };
  if (emulated()) {
    // Windows-alikes differ: Wine takes the extra bytes as part of the certificate.
    Bytes trailing = alpha;
    trailing.push_back(0);
    cases.push_back({"trailing bytes", trailing, win::kCryptEAsn1Corrupt});
  }
  for (const char* name : {"CA", "ROOT"}) {
    auto store = Open(name);
    ASSERT_NE(store, nullptr);
    for (const Case& c : cases) {
      EXPECT_EQ(store->AddEncoded(c.bytes), c.error) << name << ": " << c.name;
    }
    EXPECT_FALSE(store->ContainsSubject("Corvane Test Alpha")) << name;
  }
}

// What only the emulated PC has: its folders, and the question Windows asks in its own
// dialog before a certificate goes into the user's "ROOT".
class EmulatedCertificateStoresTest : public CertificateStoresTest {
 protected:
  void SetUp() override {
    if (!emulated()) GTEST_SKIP() << "the emulated PC's own folders and question";
  }
  static void Put(const std::filesystem::path& dir, const std::string& name,
                  std::span<const unsigned char> bytes) {
    std::filesystem::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
};

TEST_F(EmulatedCertificateStoresTest, TheUserRootAsksFirstAndARefusalWritesNothing) {
  std::vector<RootCertificateConfirmation> asked;
  bool answer = false;
  stores().SetRootConfirmation([&](const RootCertificateConfirmation& what) {
    asked.push_back(what);
    return answer;
  });
  auto root = Open("root");
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->AddEncoded(Der(kCertAlpha)), win::kErrorCancelled);
  ASSERT_EQ(asked.size(), 1U);
  EXPECT_EQ(asked[0].subject, "XX, Corvane Test Alpha");
  EXPECT_EQ(asked[0].issuer, "XX, Corvane Test Alpha");
  EXPECT_EQ(asked[0].thumbprint, "5A9797F5 44846905 038EF2E5 7862BF48 06CF43F5");
  EXPECT_FALSE(root->ContainsSubject("Corvane Test Alpha"));
  EXPECT_TRUE(std::filesystem::is_empty(certs() / "user" / "root"));  // spelled as opened

  // Bad bytes fail before anyone is asked; other stores never ask.
  EXPECT_EQ(root->AddEncoded(Bytes{0x30}), win::kCryptEAsn1Eod);
  auto ca = Open("CA");
  ASSERT_NE(ca, nullptr);
  EXPECT_EQ(ca->AddEncoded(Der(kCertAlpha)), win::kErrorSuccess);
  EXPECT_EQ(asked.size(), 1U);

  answer = true;
  EXPECT_EQ(root->AddEncoded(Der(kCertAlpha)), win::kErrorSuccess);
  EXPECT_TRUE(root->ContainsSubject("Corvane Test Alpha"));

  // Nobody to ask declines.
  stores().SetRootConfirmation({});
  EXPECT_EQ(root->AddEncoded(Der(kCertBeta)), win::kErrorCancelled);
}

TEST_F(EmulatedCertificateStoresTest, TheUserRootShowsTheMachineRootAndSkipsNonCertificates) {
  Put(certs() / "machine" / "ROOT", "hand-placed.der", kCertBeta);
  Put(certs() / "user" / "CA", "notes.txt",
      std::span<const unsigned char>(reinterpret_cast<const unsigned char*>("Beta"), 4));
  Put(certs() / "user" / "CA", "alpha.cer", kCertAlpha);
  std::filesystem::create_directories(certs() / "user" / "CA" / "Corvane Test Beta");

  auto root = Open("ROOT");
  ASSERT_NE(root, nullptr);
  EXPECT_TRUE(root->ContainsSubject("corvane test beta"));
  EXPECT_EQ(root->EncodedWithSubject("Beta"), std::vector<Bytes>{Der(kCertBeta)});
  auto ca = Open("CA");
  ASSERT_NE(ca, nullptr);
  EXPECT_FALSE(ca->ContainsSubject("Beta"));
  EXPECT_TRUE(ca->ContainsSubject("Alpha"));
}

TEST_F(EmulatedCertificateStoresTest, NewNamesAreCreatedAndPathsAreNotNames) {
  auto store = Open("Corvane Test Store");
  ASSERT_NE(store, nullptr);
  EXPECT_TRUE(std::filesystem::is_directory(certs() / "user" / "Corvane Test Store"));
  for (const char* name : {"", ".", "..", "a/b", "..\\CA"}) {
    EXPECT_EQ(stores().OpenSystemStore(name), nullptr) << name;
  }
}

}  // namespace
}  // namespace corvane
