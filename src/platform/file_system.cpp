#include "platform/file_system.h"

#include <array>

#include "platform/win_errors.h"
#include "platform/windows_path.h"

namespace corvane {

std::uint32_t FileSystem::readFile(std::string_view path, std::string& bytes) {
  std::unique_ptr<File> file;
  if (const std::uint32_t error = open(path, FileAccess::kRead, FileCreation::kOpenExisting,
                                       win::kFileAttributeNormal, file)) {
    return error;
  }
  std::string content;
  std::array<std::byte, 64 * 1024> chunk{};
  for (;;) {
    std::size_t got = 0;
    if (const std::uint32_t error = file->read(chunk, got)) return error;
    if (got == 0) break;
    content.append(reinterpret_cast<const char*>(chunk.data()), got);
  }
  bytes = std::move(content);
  return win::kErrorSuccess;
}

std::uint32_t FileSystem::writeFile(std::string_view path, std::string_view bytes,
                                    std::uint32_t attributes) {
  std::unique_ptr<File> file;
  if (const std::uint32_t error =
          open(path, FileAccess::kWrite, FileCreation::kCreateAlways, attributes, file)) {
    return error;
  }
  return file->write(std::as_bytes(std::span(bytes.data(), bytes.size())));
}

std::uint32_t FileSystem::createDirectories(std::string_view path) {
  // Create each prefix that ends before a separator, then the whole path. A prefix that is
  // a drive ("C:") or empty (a leading "\") is not a folder to create.
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && !IsPathSeparator(path[i])) continue;
    const std::string_view prefix = path.substr(0, i);
    if (prefix.empty() || (prefix.size() == 2 && prefix[1] == ':') ||
        IsPathSeparator(prefix.back())) {
      continue;
    }
    const std::uint32_t error = createDirectory(prefix);
    if (error == win::kErrorAlreadyExists) {
      std::uint32_t existing = 0;
      if (attributes(prefix, existing) == win::kErrorSuccess &&
          (existing & win::kFileAttributeDirectory) != 0) {
        continue;
      }
      return error;
    }
    if (error != win::kErrorSuccess) return error;
  }
  return win::kErrorSuccess;
}

}  // namespace corvane
