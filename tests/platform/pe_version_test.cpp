#include "platform/pe_version.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "files_under_test.h"
#include "platform/win_errors.h"
#include "platform/windows_path.h"

namespace corvane {
namespace {

#include "fixtures/pe_fixtures.inc"

std::vector<std::uint8_t> Bytes(std::span<const unsigned char> data) {
  return {data.begin(), data.end()};
}

void ExpectFixtureVersion(const FixedFileVersion& version) {
  EXPECT_EQ(version.signature, 0xFEEF04BDU);
  EXPECT_EQ(version.fileVersionMS, 0x00010002U);  // 1.2
  EXPECT_EQ(version.fileVersionLS, 0x00030004U);  // 3.4
  EXPECT_EQ(version.productVersionMS, 0x00050006U);
  EXPECT_EQ(version.productVersionLS, 0x00070008U);
  EXPECT_EQ(version.fileOS, 0x40004U);
  EXPECT_EQ(version.fileType, 1U);
}

TEST(PeVersionTest, ReadsTheFixedPartOf32And64BitImages) {
  for (const auto& image : {Bytes(kVersioned64Exe), Bytes(kVersioned32Exe)}) {
    FixedFileVersion version;
    ASSERT_EQ(ReadPeFixedVersion(image, version), win::kErrorSuccess);
    ExpectFixtureVersion(version);
  }
}

TEST(PeVersionTest, RefusesImagesWithoutAVersionResource) {
  FixedFileVersion version;
  EXPECT_EQ(ReadPeFixedVersion(Bytes(kPlain64Exe), version), win::kErrorResourceTypeNotFound);
  const std::string text = "MZ but not a program";
  EXPECT_EQ(
      ReadPeFixedVersion(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                         version),
      win::kErrorBadFormat);
  EXPECT_EQ(ReadPeFixedVersion({}, version), win::kErrorBadFormat);
  EXPECT_EQ(version.signature, 0U);  // untouched on failure
}

// Every prefix of a real image: parsing must fail cleanly (or succeed with the right
// answer once the resource is wholly inside), never read outside the bytes it was given.
TEST(PeVersionTest, EveryTruncationFailsCleanly) {
  const std::vector<std::uint8_t> image = Bytes(kVersioned64Exe);
  for (std::size_t length = 0; length < image.size(); ++length) {
    const std::vector<std::uint8_t> cut(image.begin(), image.begin() + static_cast<long>(length));
    FixedFileVersion version;
    if (ReadPeFixedVersion(cut, version) == win::kErrorSuccess) ExpectFixtureVersion(version);
  }
}

// Damaged header fields that point outside the image or loop the resource tree.
TEST(PeVersionTest, DamagedOffsetsFail) {
  const std::vector<std::uint8_t> original = Bytes(kVersioned64Exe);
  const std::uint32_t peOffset = original[0x3C] | (original[0x3D] << 8U);
  struct Damage {
    const char* what;
    std::size_t at;
    std::uint32_t value;
  };
  const Damage damages[] = {
      {"e_lfanew past the end", 0x3C, 0xFFFFFFF0U},
      {"PE signature", peOffset, 0x00004551U},
      {"huge optional header", peOffset + 4 + 16, 0xFFFFU},
      {"huge section count", peOffset + 4 + 2, 0xFFFFU},
      {"resource directory size", peOffset + 24 + 112 + 20, 0xFFFFFFF0U},
      {"resource directory address", peOffset + 24 + 112 + 16, 0x7FFFFFF0U},
  };
  for (const Damage& d : damages) {
    std::vector<std::uint8_t> image = original;
    const std::size_t width = d.at == peOffset + 4 + 16 || d.at == peOffset + 4 + 2 ? 2 : 4;
    for (std::size_t i = 0; i < width; ++i) {
      image[d.at + i] = static_cast<std::uint8_t>(d.value >> (8 * i));
    }
    FixedFileVersion version;
    EXPECT_NE(ReadPeFixedVersion(image, version), win::kErrorSuccess) << d.what;
  }
}

TEST(PeVersionTest, FileServiceReadsVersionResources) {
  const auto services = testing::MakeServicesUnderTest();
  FileSystem& files = services->files();
  const std::string versioned = PathJoin(services->scratch(), "versioned.exe");
  const std::string plain = PathJoin(services->scratch(), "plain.exe");
  const std::string text = PathJoin(services->scratch(), "readme.txt");
  ASSERT_EQ(files.writeFile(versioned,
                            std::string(std::begin(kVersioned32Exe), std::end(kVersioned32Exe))),
            0U);
  ASSERT_EQ(files.writeFile(plain, std::string(std::begin(kPlain64Exe), std::end(kPlain64Exe))),
            0U);
  ASSERT_EQ(files.writeFile(text, "just text"), 0U);

  FixedFileVersion version;
  ASSERT_EQ(files.fixedFileVersion(versioned, version), 0U);
  ExpectFixtureVersion(version);
  EXPECT_NE(files.fixedFileVersion(plain, version), 0U);
  EXPECT_NE(files.fixedFileVersion(text, version), 0U);
  EXPECT_NE(files.fixedFileVersion(PathJoin(services->scratch(), "missing.exe"), version), 0U);
}

}  // namespace
}  // namespace corvane
