#include "support/md5.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {
namespace {

constexpr std::string_view kEmptyDigest = "d41d8cd98f00b204e9800998ecf8427e";

std::string DigestOf(std::string_view data) {
  Md5Context context;
  context.Update(data.data(), data.size());
  context.Final();
  return Md5Hex(context.digest);
}

// Bytes (7i + 3) mod 256: every byte value appears, including CR, LF and Ctrl-Z, which a file
// opened in text mode on Windows would translate or stop at.
std::string PatternBytes(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<char>(static_cast<uint8_t>((i * 7) + 3));
  }
  return bytes;
}

struct DigestCase {
  std::string data;
  std::string_view digest;
};

TEST(Md5Test, MatchesRfc1321TestSuite) {
  const std::vector<DigestCase> cases = {
      {"", kEmptyDigest},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const DigestCase& c : cases) {
    EXPECT_EQ(DigestOf(c.data), c.digest) << "input \"" << c.data << "\"";
  }
}

// Lengths around the 56-byte padding limit and the 64-byte block size, and across the
// 1024-byte chunks in which files are digested.
TEST(Md5Test, HandlesBlockAndPaddingBoundaries) {
  struct RepeatedA {
    size_t size;
    std::string_view digest;
  };
  const std::vector<RepeatedA> cases = {
      {55, "ef1772b6dff9a122358552954ad0df65"},   {56, "3b0c8ac703f828b04c6c197006d17218"},
      {63, "b06521f39153d618550606be297466d5"},   {64, "014842d480b571495a4a0363793f7367"},
      {65, "c743a45e0d2e6a95cb859adae0248435"},   {1024, "c9a34cfc85d982698c6ac89f76071abd"},
      {1025, "ae187e1febee2a150b64849c32d566ca"},
  };
  for (const RepeatedA& c : cases) {
    EXPECT_EQ(DigestOf(std::string(c.size, 'a')), c.digest) << c.size << " bytes of 'a'";
  }
}

TEST(Md5Test, SplittingTheInputDoesNotChangeTheDigest) {
  const std::string data = PatternBytes(100000);
  constexpr std::string_view kDigest = "59f08777fcd1aa2b8e0c8f892cfaae09";
  ASSERT_EQ(DigestOf(data), kDigest);

  // Piece sizes cycle through each plan until the data runs out; they land on every offset
  // within a block and mix buffered, direct and zero-length updates.
  const std::vector<std::vector<size_t>> plans = {
      {1}, {3, 61}, {63, 1, 0, 65}, {55, 9, 128, 7}, {1000, 24, 4096}, {64},
  };
  for (const std::vector<size_t>& plan : plans) {
    Md5Context context;
    size_t offset = 0;
    for (size_t step = 0; offset < data.size(); ++step) {
      const size_t piece = std::min(plan[step % plan.size()], data.size() - offset);
      context.Update(data.data() + offset, piece);
      offset += piece;
    }
    context.Final();
    EXPECT_EQ(Md5Hex(context.digest), kDigest) << "plan starting with " << plan.front();
  }
}

TEST(Md5Test, CountsBitsAcrossTheLowWord) {
  Md5Context context;
  const std::array<uint8_t, 3> bytes = {1, 2, 3};
  context.Update(bytes.data(), bytes.size());
  EXPECT_EQ(context.bitCount[0], 24U);
  EXPECT_EQ(context.bitCount[1], 0U);

  // Pretend 2^32 - 8 bits went by already: one more byte must carry into the high word.
  context.Init();
  context.bitCount = {0xfffffff8U, 0};
  context.Update(bytes.data(), 1);
  EXPECT_EQ(context.bitCount[0], 0U);
  EXPECT_EQ(context.bitCount[1], 1U);
}

TEST(Md5Test, FinalClearsWorkingStateAndInitRestarts) {
  Md5Context context;
  const std::string data = "message digest";
  context.Update(data.data(), data.size());
  context.Final();

  EXPECT_EQ(Md5Hex(context.digest), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(context.state, (std::array<uint32_t, 4>{}));
  EXPECT_EQ(context.bitCount, (std::array<uint32_t, 2>{}));
  EXPECT_EQ(context.buffer, (std::array<uint8_t, 64>{}));

  context.Init();
  context.Update("abc", 3);
  context.Final();
  EXPECT_EQ(Md5Hex(context.digest), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Md5Test, HexIsLowerCase) {
  const std::array<uint8_t, 16> digest = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef,
                                          0xfe, 0xdc, 0xba, 0x98, 0x76, 0x54, 0x32, 0x10};
  EXPECT_EQ(Md5Hex(digest), "0123456789abcdeffedcba9876543210");
  EXPECT_NE(Md5Hex(digest), "0123456789ABCDEFFEDCBA9876543210");
}

}  // namespace
}  // namespace corvane
