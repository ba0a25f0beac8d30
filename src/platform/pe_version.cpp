#include "platform/pe_version.h"

#include <array>
#include <optional>
#include <string_view>

#include "platform/win_errors.h"

namespace corvane {
namespace {

constexpr std::uint32_t kResourceTypeVersion = 16;  // RT_VERSION
constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr std::uint32_t kFixedInfoSize = 13 * 4;
constexpr std::uint32_t kHighBit = 0x80000000U;

// Bounds-checked little-endian reads over a byte range; a read past the end gives nothing.
class Bytes {
 public:
  explicit Bytes(std::span<const std::uint8_t> data) : data_(data) {}

  [[nodiscard]] std::size_t size() const { return data_.size(); }

  [[nodiscard]] std::optional<std::uint16_t> u16(std::uint64_t at) const {
    if (at > data_.size() || data_.size() - at < 2) return std::nullopt;
    return static_cast<std::uint16_t>(data_[at] | (data_[at + 1] << 8U));
  }

  [[nodiscard]] std::optional<std::uint32_t> u32(std::uint64_t at) const {
    if (at > data_.size() || data_.size() - at < 4) return std::nullopt;
    return static_cast<std::uint32_t>(data_[at]) |
           (static_cast<std::uint32_t>(data_[at + 1]) << 8U) |
           (static_cast<std::uint32_t>(data_[at + 2]) << 16U) |
           (static_cast<std::uint32_t>(data_[at + 3]) << 24U);
  }

  [[nodiscard]] bool has(std::uint64_t at, std::uint64_t count) const {
    return at <= data_.size() && data_.size() - at >= count;
  }

 private:
  std::span<const std::uint8_t> data_;
};

struct Section {
  std::uint32_t virtualAddress;
  std::uint32_t virtualSize;
  std::uint32_t rawOffset;
  std::uint32_t rawSize;
};

// Maps a relative virtual address of `count` bytes to a file offset through the section
// table; nothing when no section holds the whole range in its file data.
std::optional<std::uint64_t> RvaToOffset(const Bytes& image, std::uint64_t sectionTable,
                                         std::uint32_t sectionCount, std::uint32_t rva,
                                         std::uint32_t count) {
  for (std::uint32_t i = 0; i < sectionCount; ++i) {
    const std::uint64_t at = sectionTable + (std::uint64_t{i} * 40);
    const auto virtualSize = image.u32(at + 8);
    const auto virtualAddress = image.u32(at + 12);
    const auto rawSize = image.u32(at + 16);
    const auto rawOffset = image.u32(at + 20);
    if (!virtualSize || !virtualAddress || !rawSize || !rawOffset) return std::nullopt;
    const Section s{*virtualAddress, *virtualSize, *rawOffset, *rawSize};
    // Only bytes present in the file can be read; the rest of a section is zero-filled
    // memory, which never holds resource data.
    const std::uint64_t span =
        s.rawSize < s.virtualSize || s.virtualSize == 0 ? s.rawSize : s.virtualSize;
    if (rva < s.virtualAddress) continue;
    const std::uint64_t delta = std::uint64_t{rva} - s.virtualAddress;
    if (delta >= span || span - delta < count) continue;
    const std::uint64_t offset = std::uint64_t{s.rawOffset} + delta;
    if (!image.has(offset, count)) return std::nullopt;
    return offset;
  }
  return std::nullopt;
}

// The first entry of a resource directory whose id is `id` (or simply the first entry
// when id is empty). Returns the entry's OffsetToData field.
std::optional<std::uint32_t> FindEntry(const Bytes& image, std::uint64_t directory,
                                       std::uint64_t resourceSize,
                                       std::optional<std::uint32_t> id) {
  const auto named = image.u16(directory + 12);
  const auto ids = image.u16(directory + 14);
  if (!named || !ids) return std::nullopt;
  const std::uint32_t count = std::uint32_t{*named} + *ids;
  const std::uint64_t first = directory + 16;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint64_t entry = first + (std::uint64_t{i} * 8);
    if (entry + 8 > resourceSize) return std::nullopt;
    const auto name = image.u32(entry);
    const auto target = image.u32(entry + 4);
    if (!name || !target) return std::nullopt;
    if (!id || ((*name & kHighBit) == 0 && *name == *id)) return *target;
  }
  return std::nullopt;
}

}  // namespace

std::uint32_t ReadPeFixedVersion(std::span<const std::uint8_t> data, FixedFileVersion& version) {
  const Bytes image(data);

  // DOS header "MZ", then e_lfanew to the "PE\0\0" signature and the COFF header.
  if (image.u16(0) != 0x5A4D) return win::kErrorBadFormat;
  const auto peOffset = image.u32(0x3C);
  if (!peOffset || image.u32(*peOffset) != 0x00004550U) return win::kErrorBadFormat;
  const std::uint64_t coff = std::uint64_t{*peOffset} + 4;
  const auto sectionCount = image.u16(coff + 2);
  const auto optionalSize = image.u16(coff + 16);
  if (!sectionCount || !optionalSize) return win::kErrorBadFormat;
  const std::uint64_t optional = coff + 20;
  const auto magic = image.u16(optional);
  std::uint64_t directories = 0;
  if (magic == 0x10B) {
    directories = 96;  // PE32
  } else if (magic == 0x20B) {
    directories = 112;  // PE32+
  } else {
    return win::kErrorBadFormat;
  }
  const std::uint64_t sectionTable = optional + *optionalSize;
  if (!image.has(sectionTable, std::uint64_t{*sectionCount} * 40)) return win::kErrorBadFormat;

  // Data directory 2 is the resource tree.
  const auto directoryCount = image.u32(optional + directories - 4);
  if (!directoryCount || *directoryCount < 3 ||
      directories + std::uint64_t{3 * 8} > *optionalSize) {
    return win::kErrorResourceTypeNotFound;
  }
  const auto resourceRva = image.u32(optional + directories + 16);
  const auto resourceSize = image.u32(optional + directories + 20);
  if (!resourceRva || !resourceSize || *resourceRva == 0 || *resourceSize < 16) {
    return win::kErrorResourceTypeNotFound;
  }
  const auto resourceOffset =
      RvaToOffset(image, sectionTable, *sectionCount, *resourceRva, *resourceSize);
  if (!resourceOffset) return win::kErrorResourceDataNotFound;
  // From here on offsets are relative to the tree, whose bytes are all in the file.
  const Bytes tree(data.subspan(*resourceOffset, *resourceSize));
  const std::uint64_t treeSize = *resourceSize;

  // Three levels: type RT_VERSION, then the first name, then the first language.
  std::optional<std::uint32_t> entry = FindEntry(tree, 0, treeSize, kResourceTypeVersion);
  if (!entry) return win::kErrorResourceTypeNotFound;
  for (int level = 0; level < 2; ++level) {
    if ((*entry & kHighBit) == 0) return win::kErrorResourceDataNotFound;
    entry = FindEntry(tree, *entry & ~kHighBit, treeSize, std::nullopt);
    if (!entry) return win::kErrorResourceDataNotFound;
  }
  if ((*entry & kHighBit) != 0) return win::kErrorResourceDataNotFound;
  const auto dataRva = tree.u32(*entry);
  const auto dataSize = tree.u32(std::uint64_t{*entry} + 4);
  if (!dataRva || !dataSize) return win::kErrorResourceDataNotFound;
  const auto dataOffset = RvaToOffset(image, sectionTable, *sectionCount, *dataRva, *dataSize);
  if (!dataOffset) return win::kErrorResourceDataNotFound;
  const Bytes block(data.subspan(*dataOffset, *dataSize));

  // VS_VERSIONINFO: wLength, wValueLength, wType, L"VS_VERSION_INFO", padding to a 32-bit
  // boundary, then the VS_FIXEDFILEINFO value.
  const auto length = block.u16(0);
  const auto valueLength = block.u16(2);
  if (!length || !valueLength || *length > block.size() || *valueLength < kFixedInfoSize) {
    return win::kErrorResourceDataNotFound;
  }
  constexpr std::u16string_view kKey = u"VS_VERSION_INFO";
  std::uint64_t at = 6;
  for (const char16_t c : kKey) {
    if (block.u16(at) != c) return win::kErrorResourceDataNotFound;
    at += 2;
  }
  if (block.u16(at) != 0) return win::kErrorResourceDataNotFound;
  at = (at + 2 + 3) & ~std::uint64_t{3};
  if (at + kFixedInfoSize > *length) return win::kErrorResourceDataNotFound;

  std::array<std::uint32_t, 13> fields{};
  for (std::uint32_t i = 0; i < 13; ++i) {
    const auto value = block.u32(at + (std::uint64_t{i} * 4));
    if (!value) return win::kErrorResourceDataNotFound;
    fields[i] = *value;
  }
  if (fields[0] != kFixedInfoSignature) return win::kErrorResourceDataNotFound;
  version = FixedFileVersion{fields[0],  fields[1],  fields[2], fields[3], fields[4],
                             fields[5],  fields[6],  fields[7], fields[8], fields[9],
                             fields[10], fields[11], fields[12]};
  return win::kErrorSuccess;
}

}  // namespace corvane
