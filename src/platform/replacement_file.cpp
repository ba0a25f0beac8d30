#include "platform/replacement_file.h"

#include <array>
#include <chrono>
#include <cstdio>

#include "platform/win_errors.h"
#include "platform/windows_path.h"

namespace corvane {
namespace {

// Enough tries that only a folder that refuses every new name fails.
constexpr int kNameAttempts = 16;

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

}  // namespace corvane
