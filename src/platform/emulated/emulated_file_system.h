#pragma once

// The emulated PC's files: the C: drive is drive_c/ of the machine folder (see DriveC for
// how names resolve). What the host file system cannot hold lives beside it:
//   drive_c.attributes     FILE_ATTRIBUTE_* bits that differ from the default, one line per
//                          file or folder: 8 hex digits, a blank, the path below drive_c/
//                          as spelled on the host with '/' separators. Files without a line
//                          are plain (FILE_ATTRIBUTE_ARCHIVE, as NTFS gives new files);
//                          files made by other programs are plain too.
//   drive_c.pending_moves  moves and deletions registered for the next restart
//                          (MOVEFILE_DELAY_UNTIL_REBOOT), one per line: the MoveFileEx flags
//                          as 8 hex digits, a tab, the source, a tab, the target (empty to
//                          delete); full Windows paths. Reboot() carries them out in order.
// Both files are rewritten whole through a temporary file and a rename, so a crash never
// leaves half a file. Sharing modes and locks are not emulated, except for pinned files
// (pin(), see pinned_files.h) and running images (running_images.h).
//
// A new machine (no drive_c/ yet) gets the folders a fresh Windows 7 user sees (Windows,
// system32 with Windows 7's hosts file, Program Files, the user's profile with its
// temporary folder, ProgramData) and the program's own folder.

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/emulated/drive_c.h"
#include "platform/emulated/machine_folder.h"
#include "platform/emulated/pinned_files.h"
#include "platform/file_system.h"

namespace corvane {
class Environment;
}

namespace corvane::emulated {

struct PendingMove {
  std::string from;
  std::string to;  // empty: delete `from`
  std::uint32_t flags = 0;
};

class EmulatedFileSystem final : public FileSystem {
 public:
  // environment gives the current directory for relative paths and the folders of a new
  // machine; it must outlive this object.
  EmulatedFileSystem(const MachineFolder& folder, const Environment& environment);

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

  // The files pinned through this object; the process service runs their copies.
  [[nodiscard]] const PinnedFiles& pins() const { return pins_; }

  // The moves registered for the next restart, in order.
  [[nodiscard]] std::vector<PendingMove> pendingMoves() const;
  // Restarts the machine as far as files go: carries out the registered moves in order, as
  // Windows does early in its start, and forgets them. A move that cannot be done (its
  // source is gone, its target exists and may not be replaced) is skipped. Returns how many
  // were carried out.
  std::size_t Reboot();

  // Creates the folders every Windows has that are missing (the system folders, the program
  // files, the user's, the temporary folder and the program's own): a drive written by
  // something else, a snapshot of a PC, holds only the files the program reads.
  void createStandardFolders();

  // Where a Windows path is on the host; empty when it names nothing on this drive.
  [[nodiscard]] std::filesystem::path hostPath(std::string_view path) const;

 private:
  std::uint32_t resolve(std::string_view path, ResolvedPath& resolved) const;
  std::uint32_t storedAttributes(const ResolvedPath& resolved) const;
  void storeAttributes(const std::string& key, std::uint32_t attributes);
  void forgetAttributes(const std::string& key);
  void renameAttributes(const std::string& fromKey, const std::string& toKey);
  std::uint32_t moveNow(const ResolvedPath& from, const ResolvedPath& to, std::uint32_t flags);
  void createMachineSkeleton();

  // The path's pinned copy when it is pinned, else the path itself on the host.
  [[nodiscard]] std::filesystem::path readablePath(const ResolvedPath& resolved) const;
  [[nodiscard]] bool isPinned(const ResolvedPath& resolved) const;

  MachineFolder folder_;
  const Environment& environment_;
  DriveC drive_;
  PinnedFiles pins_;
  // Guards the two sidecar files against the threads of this process.
  mutable std::mutex mutex_;
};

}  // namespace corvane::emulated
