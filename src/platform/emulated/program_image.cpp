#include "platform/emulated/program_image.h"

#include <array>
#include <string_view>

namespace corvane::emulated {
namespace {

void Put16(std::string& image, std::size_t at, std::uint32_t value) {
  image[at] = static_cast<char>(value & 0xFFU);
  image[at + 1] = static_cast<char>((value >> 8U) & 0xFFU);
}

void Put32(std::string& image, std::size_t at, std::uint32_t value) {
  Put16(image, at, value & 0xFFFFU);
  Put16(image, at + 2, value >> 16U);
}

constexpr std::size_t kPeOffset = 0x40;
constexpr std::size_t kCoff = kPeOffset + 4;
constexpr std::size_t kOptional = kCoff + 20;
constexpr std::size_t kOptionalSize = 224;  // PE32 with 16 data directories
constexpr std::size_t kSectionTable = kOptional + kOptionalSize;
constexpr std::size_t kFileAlignment = 0x200;
constexpr std::uint32_t kSectionRva = 0x1000;
// The resource tree: type 16 (RT_VERSION) -> name 1 -> language 0x0804 -> data entry.
constexpr std::size_t kVersionBlock = 0x58;
constexpr std::size_t kVersionBlockSize = 92;  // header, key, padding, VS_FIXEDFILEINFO

}  // namespace

std::string MakeProgramImage(std::uint32_t versionMS, std::uint32_t versionLS) {
  const std::size_t rawSize = kFileAlignment;  // the tree and the block fit in one unit
  std::string image(kFileAlignment + rawSize, '\0');

  image[0] = 'M';
  image[1] = 'Z';
  Put32(image, 0x3C, kPeOffset);
  image.replace(kPeOffset, 4, std::string_view("PE\0\0", 4));
  Put16(image, kCoff, 0x14C);  // i386
  Put16(image, kCoff + 2, 1);  // one section
  Put16(image, kCoff + 16, kOptionalSize);
  Put16(image, kCoff + 18, 0x0102);  // executable, 32-bit

  Put16(image, kOptional, 0x10B);                                    // PE32
  Put32(image, kOptional + 8, static_cast<std::uint32_t>(rawSize));  // initialised data
  Put32(image, kOptional + 28, 0x400000);                            // image base
  Put32(image, kOptional + 32, 0x1000);                              // section alignment
  Put32(image, kOptional + 36, kFileAlignment);
  Put16(image, kOptional + 40, 5);  // Windows XP and later
  Put16(image, kOptional + 48, 5);
  Put32(image, kOptional + 56, kSectionRva + 0x1000);  // size of image
  Put32(image, kOptional + 60, kFileAlignment);        // size of headers
  Put16(image, kOptional + 68, 2);                     // Windows GUI
  Put32(image, kOptional + 92, 16);                    // data directories
  Put32(image, kOptional + 96 + 16, kSectionRva);      // directory 2: resources
  Put32(image, kOptional + 96 + 20, kVersionBlock + kVersionBlockSize);

  image.replace(kSectionTable, 5, ".rsrc");
  Put32(image, kSectionTable + 8, kVersionBlock + kVersionBlockSize);  // virtual size
  Put32(image, kSectionTable + 12, kSectionRva);
  Put32(image, kSectionTable + 16, static_cast<std::uint32_t>(rawSize));
  Put32(image, kSectionTable + 20, kFileAlignment);
  Put32(image, kSectionTable + 36, 0x40000040);  // initialised data, readable

  const std::size_t tree = kFileAlignment;
  Put16(image, tree + 14, 1);  // root: one id entry
  Put32(image, tree + 16, 16);
  Put32(image, tree + 20, 0x80000000U | 0x18U);
  Put16(image, tree + 0x18 + 14, 1);  // names: one id entry
  Put32(image, tree + 0x18 + 16, 1);
  Put32(image, tree + 0x18 + 20, 0x80000000U | 0x30U);
  Put16(image, tree + 0x30 + 14, 1);  // languages: Chinese (PRC)
  Put32(image, tree + 0x30 + 16, 0x0804);
  Put32(image, tree + 0x30 + 20, 0x48);
  Put32(image, tree + 0x48, kSectionRva + kVersionBlock);  // data entry
  Put32(image, tree + 0x48 + 4, kVersionBlockSize);

  const std::size_t block = tree + kVersionBlock;
  Put16(image, block, kVersionBlockSize);
  Put16(image, block + 2, 52);  // the fixed part
  std::size_t at = block + 6;
  for (const char c : std::string_view("VS_VERSION_INFO")) {
    Put16(image, at, static_cast<unsigned char>(c));
    at += 2;
  }
  at = block + 40;  // after the key's terminator, on a 32-bit boundary
  const std::array<std::uint32_t, 13> fixed = {0xFEEF04BD, 0x10000, versionMS, versionLS, versionMS,
                                               versionLS,  0x3F,    0,         0x40004,   1,
                                               0,          0,       0};
  for (const std::uint32_t value : fixed) {
    Put32(image, at, value);
    at += 4;
  }
  return image;
}

}  // namespace corvane::emulated
