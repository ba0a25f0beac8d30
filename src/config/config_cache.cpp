#include "config/config_cache.h"

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/replacement_file.h"
#include "platform/win_errors.h"

namespace corvane {
namespace {

// Not a secret: it only keeps the copy from looking like something to edit by hand. Changing
// it makes every existing copy unreadable (the next start then uses the built-in copy).
constexpr std::array<std::uint8_t, 5> kScrambleKey = {0x5A, 0xC3, 0x17, 0x9E, 0x6B};

// Clears read-only and system first, so the copy can be read and replaced whatever marks a
// user or a tool gave it.
void ClearAttributes(FileSystem& files) {
  (void)files.setAttributes(kConfigCachePath, win::kFileAttributeNormal);
}

void HideCopy(FileSystem& files) {
  if (files.exists(kConfigCachePath)) {
    (void)files.setAttributes(kConfigCachePath, win::kFileAttributeHidden);
  }
}

}  // namespace

void ScrambleText(std::span<char> bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<char>(static_cast<std::uint8_t>(bytes[i]) ^
                                 kScrambleKey[i % kScrambleKey.size()]);
  }
}

std::string DecodeConfigCache(std::string_view fileBytes) {
  std::string text(fileBytes);
  ScrambleText(text);
  return text;
}

std::uint32_t SaveConfigCache(std::string_view text) {
  std::string scrambled(text);
  ScrambleText(scrambled);
  FileSystem& files = CurrentPlatform().files();
  ClearAttributes(files);
  std::uint32_t error = win::kErrorSuccess;
  {
    ReplacementFile replacement(files);
    error = replacement.create(kConfigCachePath);
    if (error == win::kErrorSuccess) {
      error = replacement.file().write(std::as_bytes(std::span(scrambled)));
    }
    if (error == win::kErrorSuccess) error = replacement.commit();
  }
  HideCopy(files);
  return error;
}

std::string LoadConfigCache() {
  FileSystem& files = CurrentPlatform().files();
  ClearAttributes(files);
  std::string bytes;
  const std::uint32_t error = files.readFile(kConfigCachePath, bytes);
  HideCopy(files);
  if (error != win::kErrorSuccess) return {};
  return DecodeConfigCache(bytes);
}

}  // namespace corvane
