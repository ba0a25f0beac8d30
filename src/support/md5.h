#pragma once

// MD5 (RFC 1321). Used to compare downloaded files and installed components against the
// digests the bank publishes, not for anything security-sensitive.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace corvane {

struct Md5Context {
  std::array<uint32_t, 4> state{};     // chaining words A, B, C, D
  std::array<uint32_t, 2> bitCount{};  // bits processed mod 2^64, low word first
  std::array<uint8_t, 64> buffer{};    // bytes of the incomplete block
  std::array<uint8_t, 16> digest{};    // written by Final

  Md5Context() noexcept;

  // Starts a new message.
  void Init() noexcept;
  void Update(const void* data, size_t count) noexcept;
  // Pads, writes `digest`, then clears state, bitCount and buffer (digest stays).
  void Final() noexcept;
};

// 32 lower-case hex characters.
std::string Md5Hex(std::span<const uint8_t, 16> digest);

}  // namespace corvane
