#pragma once

// Files through the wide Win32 calls. Paths are measured before each call (in full, as
// GetFullPathName gives them) and refused at MAX_PATH, so the limits of Windows XP to 8
// hold on every Windows, and under Wine, whatever long-path support it has.

#include "platform/file_system.h"

namespace corvane::win32 {

class Win32FileSystem final : public FileSystem {
 public:
  [[nodiscard]] bool exists(std::string_view path) override;
  std::uint32_t open(std::string_view path, FileAccess access, FileCreation creation,
                     std::uint32_t attributes, std::unique_ptr<File>& file) override;
  std::uint32_t attributes(std::string_view path, std::uint32_t& attributes) override;
  std::uint32_t setAttributes(std::string_view path, std::uint32_t attributes) override;
  std::uint32_t deleteFile(std::string_view path) override;
  std::uint32_t move(std::string_view from, std::string_view to, std::uint32_t flags) override;
  std::uint32_t copy(std::string_view from, std::string_view to, bool failIfExists) override;
  std::uint32_t createDirectory(std::string_view path) override;
  std::uint32_t listFolder(std::string_view folder, std::vector<FolderEntry>& entries) override;
  std::uint32_t fixedFileVersion(std::string_view path, FixedFileVersion& version) override;
  std::uint32_t pin(std::string_view path, std::unique_ptr<File>& pinned) override;
};

}  // namespace corvane::win32
