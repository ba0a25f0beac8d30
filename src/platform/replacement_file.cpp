#include "platform/replacement_file.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <string_view>
#include <vector>

#include "platform/win_errors.h"
#include "platform/windows_path.h"

namespace corvane {
namespace {

// Enough tries that only a folder that refuses every new name fails.
constexpr int kNameAttempts = 16;
constexpr std::string_view kNamePrefix = "~cv";
constexpr std::string_view kNameSuffix = ".tmp";
constexpr std::size_t kNameDigits = 8;

// A name part that differs between objects, calls and moments; uniqueness itself comes from
// creating with kCreateNew and trying again on a clash.
std::uint32_t NameSeed(const void* self, int attempt) {
  const auto ticks =
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  std::uint64_t mixed = ticks ^ (reinterpret_cast<std::uintptr_t>(self) << 16U) ^
                        (static_cast<std::uint64_t>(attempt) * 0x9E3779B97F4A7C15ULL);
  mixed ^= mixed >> 33U;
  mixed *= 0xFF51AFD7ED558CCDULL;
  mixed ^= mixed >> 33U;
  return static_cast<std::uint32_t>(mixed);
}

}  // namespace

ReplacementFile::~ReplacementFile() { discard(); }

std::uint32_t ReplacementFile::create(std::string_view target) {
  discard();
  target_ = std::string(target);
  const std::string_view folder = PathParent(target);
  std::uint32_t error = win::kErrorFileExists;
  for (int attempt = 0; attempt < kNameAttempts && error == win::kErrorFileExists; ++attempt) {
    std::array<char, 16> name{};
    // The form IsReplacementName knows: kNamePrefix, kNameDigits hex digits, kNameSuffix.
    (void)std::snprintf(name.data(), name.size(), "~cv%08X.tmp",
                        static_cast<unsigned>(NameSeed(this, attempt)));
    std::string candidate =
        folder.empty() ? std::string(name.data()) : PathJoin(folder, name.data());
    error = files_.open(candidate, FileAccess::kWrite, FileCreation::kCreateNew,
                        win::kFileAttributeNormal, file_);
    if (error == win::kErrorSuccess) path_ = std::move(candidate);
  }
  return error;
}

std::uint32_t ReplacementFile::commit() {
  if (!file_) return win::kErrorInvalidHandle;
  file_.reset();
  const std::uint32_t error = files_.move(path_, target_, win::kMoveFileReplaceExisting);
  if (error != win::kErrorSuccess) {
    discard();
    return error;
  }
  path_.clear();
  return win::kErrorSuccess;
}

void ReplacementFile::discard() {
  file_.reset();
  if (!path_.empty()) {
    (void)files_.deleteFile(path_);
    path_.clear();
  }
}

bool IsReplacementName(std::string_view name) {
  if (name.size() != kNamePrefix.size() + kNameDigits + kNameSuffix.size() ||
      !name.starts_with(kNamePrefix) || !name.ends_with(kNameSuffix)) {
    return false;
  }
  const std::string_view digits = name.substr(kNamePrefix.size(), kNameDigits);
  return std::all_of(digits.begin(), digits.end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

std::size_t RemoveAbandonedReplacements(FileSystem& files, std::string_view folder) {
  std::vector<FolderEntry> entries;
  if (files.listFolder(folder, entries) != win::kErrorSuccess) return 0;
  std::size_t removed = 0;
  for (const FolderEntry& entry : entries) {
    if ((entry.attributes & win::kFileAttributeDirectory) != 0 || !IsReplacementName(entry.name)) {
      continue;
    }
    if (files.deleteFile(PathJoin(folder, entry.name)) == win::kErrorSuccess) ++removed;
  }
  return removed;
}

}  // namespace corvane
