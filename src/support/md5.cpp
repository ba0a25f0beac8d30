#include "support/md5.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace corvane {
namespace {

constexpr std::array<uint32_t, 4> kInitialState = {0x67452301U, 0xefcdab89U, 0x98badcfeU,
                                                   0x10325476U};
constexpr size_t kBlockSize = 64;

// Byte assembly keeps this right on any host; GCC and Clang turn it into one load on
// little-endian machines.
inline uint32_t LoadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void StoreLe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

template <int S>
inline uint32_t Rotl(uint32_t x) {
  return (x << S) | (x >> (32 - S));
}

// The round functions are written so that the terms not depending on `b` (the word computed
// by the previous step) can be evaluated ahead of it; the chain through `b` is what limits
// MD5's speed.
template <int S>
inline void StepF(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t xt) {
  a = b + Rotl<S>(a + xt + (d ^ (b & (c ^ d))));
}

template <int S>
inline void StepG(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t xt) {
  // (b & d) | (c & ~d): the two halves share no bits, so they can be added separately.
  a = b + Rotl<S>(a + xt + (c & ~d) + (b & d));
}

template <int S>
inline void StepH(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t xt) {
  a = b + Rotl<S>(a + xt + (b ^ c ^ d));
}

template <int S>
inline void StepI(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t xt) {
  a = b + Rotl<S>(a + xt + (c ^ (b | ~d)));
}

// Processes `blocks` consecutive 64-byte blocks, keeping the chaining words in registers.
void TransformBlocks(std::array<uint32_t, 4>& state, const uint8_t* p, size_t blocks) {
  uint32_t a = state[0];
  uint32_t b = state[1];
  uint32_t c = state[2];
  uint32_t d = state[3];
  for (; blocks != 0; --blocks, p += kBlockSize) {
    const uint32_t x0 = LoadLe32(p);
    const uint32_t x1 = LoadLe32(p + 4);
    const uint32_t x2 = LoadLe32(p + 8);
    const uint32_t x3 = LoadLe32(p + 12);
    const uint32_t x4 = LoadLe32(p + 16);
    const uint32_t x5 = LoadLe32(p + 20);
    const uint32_t x6 = LoadLe32(p + 24);
    const uint32_t x7 = LoadLe32(p + 28);
    const uint32_t x8 = LoadLe32(p + 32);
    const uint32_t x9 = LoadLe32(p + 36);
    const uint32_t x10 = LoadLe32(p + 40);
    const uint32_t x11 = LoadLe32(p + 44);
    const uint32_t x12 = LoadLe32(p + 48);
    const uint32_t x13 = LoadLe32(p + 52);
    const uint32_t x14 = LoadLe32(p + 56);
    const uint32_t x15 = LoadLe32(p + 60);
    const uint32_t aa = a;
    const uint32_t bb = b;
    const uint32_t cc = c;
    const uint32_t dd = d;

    StepF<7>(a, b, c, d, x0 + 0xd76aa478U);
    StepF<12>(d, a, b, c, x1 + 0xe8c7b756U);
    StepF<17>(c, d, a, b, x2 + 0x242070dbU);
    StepF<22>(b, c, d, a, x3 + 0xc1bdceeeU);
    StepF<7>(a, b, c, d, x4 + 0xf57c0fafU);
    StepF<12>(d, a, b, c, x5 + 0x4787c62aU);
    StepF<17>(c, d, a, b, x6 + 0xa8304613U);
    StepF<22>(b, c, d, a, x7 + 0xfd469501U);
    StepF<7>(a, b, c, d, x8 + 0x698098d8U);
    StepF<12>(d, a, b, c, x9 + 0x8b44f7afU);
    StepF<17>(c, d, a, b, x10 + 0xffff5bb1U);
    StepF<22>(b, c, d, a, x11 + 0x895cd7beU);
    StepF<7>(a, b, c, d, x12 + 0x6b901122U);
    StepF<12>(d, a, b, c, x13 + 0xfd987193U);
    StepF<17>(c, d, a, b, x14 + 0xa679438eU);
    StepF<22>(b, c, d, a, x15 + 0x49b40821U);

    StepG<5>(a, b, c, d, x1 + 0xf61e2562U);
    StepG<9>(d, a, b, c, x6 + 0xc040b340U);
    StepG<14>(c, d, a, b, x11 + 0x265e5a51U);
    StepG<20>(b, c, d, a, x0 + 0xe9b6c7aaU);
    StepG<5>(a, b, c, d, x5 + 0xd62f105dU);
    StepG<9>(d, a, b, c, x10 + 0x02441453U);
    StepG<14>(c, d, a, b, x15 + 0xd8a1e681U);
    StepG<20>(b, c, d, a, x4 + 0xe7d3fbc8U);
    StepG<5>(a, b, c, d, x9 + 0x21e1cde6U);
    StepG<9>(d, a, b, c, x14 + 0xc33707d6U);
    StepG<14>(c, d, a, b, x3 + 0xf4d50d87U);
    StepG<20>(b, c, d, a, x8 + 0x455a14edU);
    StepG<5>(a, b, c, d, x13 + 0xa9e3e905U);
    StepG<9>(d, a, b, c, x2 + 0xfcefa3f8U);
    StepG<14>(c, d, a, b, x7 + 0x676f02d9U);
    StepG<20>(b, c, d, a, x12 + 0x8d2a4c8aU);

    StepH<4>(a, b, c, d, x5 + 0xfffa3942U);
    StepH<11>(d, a, b, c, x8 + 0x8771f681U);
    StepH<16>(c, d, a, b, x11 + 0x6d9d6122U);
    StepH<23>(b, c, d, a, x14 + 0xfde5380cU);
    StepH<4>(a, b, c, d, x1 + 0xa4beea44U);
    StepH<11>(d, a, b, c, x4 + 0x4bdecfa9U);
    StepH<16>(c, d, a, b, x7 + 0xf6bb4b60U);
    StepH<23>(b, c, d, a, x10 + 0xbebfbc70U);
    StepH<4>(a, b, c, d, x13 + 0x289b7ec6U);
    StepH<11>(d, a, b, c, x0 + 0xeaa127faU);
    StepH<16>(c, d, a, b, x3 + 0xd4ef3085U);
    StepH<23>(b, c, d, a, x6 + 0x04881d05U);
    StepH<4>(a, b, c, d, x9 + 0xd9d4d039U);
    StepH<11>(d, a, b, c, x12 + 0xe6db99e5U);
    StepH<16>(c, d, a, b, x15 + 0x1fa27cf8U);
    StepH<23>(b, c, d, a, x2 + 0xc4ac5665U);

    StepI<6>(a, b, c, d, x0 + 0xf4292244U);
    StepI<10>(d, a, b, c, x7 + 0x432aff97U);
    StepI<15>(c, d, a, b, x14 + 0xab9423a7U);
    StepI<21>(b, c, d, a, x5 + 0xfc93a039U);
    StepI<6>(a, b, c, d, x12 + 0x655b59c3U);
    StepI<10>(d, a, b, c, x3 + 0x8f0ccc92U);
    StepI<15>(c, d, a, b, x10 + 0xffeff47dU);
    StepI<21>(b, c, d, a, x1 + 0x85845dd1U);
    StepI<6>(a, b, c, d, x8 + 0x6fa87e4fU);
    StepI<10>(d, a, b, c, x15 + 0xfe2ce6e0U);
    StepI<15>(c, d, a, b, x6 + 0xa3014314U);
    StepI<21>(b, c, d, a, x13 + 0x4e0811a1U);
    StepI<6>(a, b, c, d, x4 + 0xf7537e82U);
    StepI<10>(d, a, b, c, x11 + 0xbd3af235U);
    StepI<15>(c, d, a, b, x2 + 0x2ad7d2bbU);
    StepI<21>(b, c, d, a, x9 + 0xeb86d391U);

    a += aa;
    b += bb;
    c += cc;
    d += dd;
  }
  state[0] = a;
  state[1] = b;
  state[2] = c;
  state[3] = d;
}

}  // namespace

Md5Context::Md5Context() noexcept { Init(); }

void Md5Context::Init() noexcept {
  state = kInitialState;
  bitCount = {};
  buffer = {};
}

void Md5Context::Update(const void* data, size_t count) noexcept {
  if (count == 0) {
    return;
  }
  const auto* input = static_cast<const uint8_t*>(data);
  const size_t used = (bitCount[0] >> 3) & (kBlockSize - 1);

  uint64_t bits = (static_cast<uint64_t>(bitCount[1]) << 32) | bitCount[0];
  bits += static_cast<uint64_t>(count) << 3;
  bitCount[0] = static_cast<uint32_t>(bits);
  bitCount[1] = static_cast<uint32_t>(bits >> 32);

  if (used != 0) {
    const size_t take = std::min(count, kBlockSize - used);
    std::memcpy(buffer.data() + used, input, take);
    input += take;
    count -= take;
    if (used + take < kBlockSize) {
      return;
    }
    TransformBlocks(state, buffer.data(), 1);
  }
  const size_t blocks = count / kBlockSize;
  if (blocks != 0) {
    TransformBlocks(state, input, blocks);
    input += blocks * kBlockSize;
    count -= blocks * kBlockSize;
  }
  if (count != 0) {
    std::memcpy(buffer.data(), input, count);
  }
}

void Md5Context::Final() noexcept {
  std::array<uint8_t, 8> length{};
  StoreLe32(length.data(), bitCount[0]);
  StoreLe32(length.data() + 4, bitCount[1]);

  // 0x80 then zeros up to 56 mod 64, leaving room for the length in the last block.
  constexpr std::array<uint8_t, kBlockSize> kPadding = {0x80};
  const size_t used = (bitCount[0] >> 3) & (kBlockSize - 1);
  const size_t padLength = (used < 56) ? (56 - used) : (120 - used);
  Update(kPadding.data(), padLength);
  Update(length.data(), length.size());

  for (size_t i = 0; i < state.size(); ++i) {
    StoreLe32(digest.data() + (4 * i), state[i]);
  }
  state = {};
  bitCount = {};
  buffer = {};
}

std::string Md5Hex(std::span<const uint8_t, 16> digest) {
  constexpr std::string_view kHexDigits = "0123456789abcdef";
  std::string hex(2 * digest.size(), '\0');
  for (size_t i = 0; i < digest.size(); ++i) {
    hex[2 * i] = kHexDigits[digest[i] >> 4];
    hex[(2 * i) + 1] = kHexDigits[digest[i] & 0x0f];
  }
  return hex;
}

}  // namespace corvane
