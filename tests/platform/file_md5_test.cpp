#include "platform/file_md5.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "files_under_test.h"
#include "platform/file_system.h"
#include "platform/windows_path.h"

namespace corvane {
namespace {

constexpr std::string_view kEmptyDigest = "d41d8cd98f00b204e9800998ecf8427e";

// Bytes (7i + 3) mod 256: every byte value appears, including CR, LF and Ctrl-Z, which a
// file read in text mode would translate or stop at.
std::string PatternBytes(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<char>(static_cast<std::uint8_t>((i * 7) + 3));
  }
  return bytes;
}

class FileMd5HexTest : public ::testing::Test {
 protected:
  void SetUp() override { services_ = testing::MakeServicesUnderTest(); }
  FileSystem& files() { return services_->files(); }
  [[nodiscard]] std::string at(std::string_view name) const {
    return PathJoin(services_->scratch(), name);
  }

  std::unique_ptr<testing::ServicesUnderTest> services_;
};

// Sizes at the padding and block limits and around the 1024-byte reads.
TEST_F(FileMd5HexTest, DigestsWholeFileAsBinary) {
  struct Case {
    std::size_t size;
    std::string_view digest;
  };
  const Case cases[] = {
      {0, kEmptyDigest},
      {56, "46c9907fc908ee68b1e7b8e71286a518"},
      {64, "7160b8fb5e9e4023d549c3971fbaeead"},
      {1024, "a66351d9c8f941b70a02eaf9c41e69c3"},
      {1025, "ee57403eb3428e1a0be41fad4a70b174"},
  };
  for (const Case& c : cases) {
    const std::string path = at("file" + std::to_string(c.size) + ".bin");
    ASSERT_EQ(files().writeFile(path, PatternBytes(c.size)), 0U);
    EXPECT_EQ(FileMd5Hex(files(), path), c.digest) << c.size << " bytes";
  }
}

TEST_F(FileMd5HexTest, FindsFilesUnderAnySpellingAndHiddenOnes) {
  ASSERT_EQ(files().writeFile(at("Setup.EXE"), "abc"), 0U);
  ASSERT_EQ(files().setAttributes(at("Setup.EXE"), win::kFileAttributeHidden), 0U);
  EXPECT_EQ(FileMd5Hex(files(), at("setup.exe")), "900150983cd24fb0d6963f7d28e17f72");
}

TEST_F(FileMd5HexTest, UnreadablePathsGiveNoDigest) {
  EXPECT_EQ(FileMd5Hex(files(), at("missing.bin")), "");
  EXPECT_EQ(FileMd5Hex(files(), ""), "");
  EXPECT_EQ(FileMd5Hex(files(), at(R"(no_such_dir\file.bin)")), "");
  // A folder cannot be opened as a file, so it has no digest, not that of no bytes.
  EXPECT_EQ(FileMd5Hex(files(), services_->scratch()), "");
}

}  // namespace
}  // namespace corvane
