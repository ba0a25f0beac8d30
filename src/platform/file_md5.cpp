#include "platform/file_md5.h"

#include <array>
#include <cstddef>
#include <memory>

#include "platform/file_system.h"
#include "support/md5.h"

namespace corvane {

std::string FileMd5Hex(File& file) {
  Md5Context context;
  std::array<std::byte, 64 * 1024> chunk{};
  for (;;) {
    std::size_t got = 0;
    if (file.read(chunk, got) != 0) return {};
    if (got == 0) break;
    context.Update(chunk.data(), got);
  }
  context.Final();
  return Md5Hex(context.digest);
}

std::string FileMd5Hex(FileSystem& files, std::string_view path) {
  std::unique_ptr<File> file;
  if (files.open(path, FileAccess::kRead, FileCreation::kOpenExisting, win::kFileAttributeNormal,
                 file) != 0) {
    return {};
  }
  Md5Context context;
  std::array<std::byte, 1024> chunk{};
  for (;;) {
    std::size_t got = 0;
    if (file->read(chunk, got) != 0 || got == 0) break;
    context.Update(chunk.data(), got);
  }
  context.Final();
  return Md5Hex(context.digest);
}

}  // namespace corvane
