#pragma once

// Every read and write of a file in the machine folder goes through here. Programs of the
// emulated PC can write the whole folder, so a name in it may have been replaced by a
// symbolic link to any file of the host. These functions open each folder on the way down
// from the machine folder's descriptor with O_NOFOLLOW and the file itself with O_NOFOLLOW,
// so a link anywhere below the machine folder is refused (MachineFileStatus::kLink), never
// followed. The machine folder itself is opened as given: callers that refuse a linked
// machine folder check it themselves.
//
// Decisions:
// - `name` is relative to the machine folder ("registry/HKLM.reg"); "..", "." and absolute
//   names are refused, so no name can leave the folder.
// - Atomic writes remove a leftover temporary file and create it anew with O_EXCL, so a link
//   planted as the temporary file is never written through; the rename happens inside the
//   folder's descriptor and refuses a link standing at the final name.
// - Only regular files are read: a FIFO or device planted under a machine file's name would
//   otherwise block or feed endless input.

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::emulated {

// The size limit for the text files of the machine folder (hives, settings, indexes).
inline constexpr std::size_t kMaxMachineText = std::size_t{64} * 1024 * 1024;

enum class MachineFileStatus {
  kOk,
  kMissing,     // the file, or a folder on the way, does not exist
  kLink,        // a symbolic link on the way or at the name: refused
  kNotRegular,  // a folder, FIFO or device where a file belongs
  kTooLarge,    // larger than the reader's limit
  kFailed,      // any other failure of the system (errno tells)
};

// "is a symbolic link, which is not followed" and the like, to follow a file name.
[[nodiscard]] std::string_view DescribeMachineFileStatus(MachineFileStatus status);

// Whether `name` exists as a regular file (kOk), is missing, or is something else.
[[nodiscard]] MachineFileStatus StatMachineFile(const std::filesystem::path& folder,
                                                const std::filesystem::path& name);

// Reads the whole regular file `name`, at most `limit` bytes.
[[nodiscard]] MachineFileStatus ReadMachineFile(const std::filesystem::path& folder,
                                                const std::filesystem::path& name,
                                                std::string& content, std::size_t limit);

struct MachineWriteOptions {
  bool sync = false;           // fsync the file and the folder entry
  bool createFolders = false;  // create missing folders below the machine folder
  std::string temporaryName;   // leaf name of the temporary file; empty: name + ".new"
};

// Replaces `name` so that it holds its old content or all of `content`: a temporary file in
// the same folder, then a rename over it.
[[nodiscard]] MachineFileStatus WriteMachineFileAtomically(const std::filesystem::path& folder,
                                                           const std::filesystem::path& name,
                                                           std::string_view content,
                                                           const MachineWriteOptions& options = {});

// Creates `name` with `content` only if nothing has that name yet (kOk when created; a link
// there counts as kLink, anything else that exists as kNotRegular).
[[nodiscard]] MachineFileStatus CreateMachineFile(const std::filesystem::path& folder,
                                                  const std::filesystem::path& name,
                                                  std::string_view content);

// Appends `text` in one write, creating the file if needed.
[[nodiscard]] MachineFileStatus AppendMachineFile(const std::filesystem::path& folder,
                                                  const std::filesystem::path& name,
                                                  std::string_view text);

// Opens `name` with `flags` (O_NOFOLLOW and O_CLOEXEC are always added; O_CREAT takes
// `mode`). Returns the descriptor, which the caller owns, or -1 with errno set (ELOOP for a
// link on the way or at the name).
[[nodiscard]] int OpenMachineFile(const std::filesystem::path& folder,
                                  const std::filesystem::path& name, int flags, mode_t mode,
                                  bool createFolders = false);

// Renames `from` to `to`, both in the same folder of the machine folder.
[[nodiscard]] MachineFileStatus RenameMachineFile(const std::filesystem::path& folder,
                                                  const std::filesystem::path& from,
                                                  const std::filesystem::path& to);

// Removes the file `name` (a link there is removed itself, never what it points to).
[[nodiscard]] MachineFileStatus RemoveMachineFile(const std::filesystem::path& folder,
                                                  const std::filesystem::path& name);

// The names in the folder `name` (not "." and ".."), which must not be a link.
[[nodiscard]] MachineFileStatus ListMachineFolder(const std::filesystem::path& folder,
                                                  const std::filesystem::path& name,
                                                  std::vector<std::string>& names);

// Creates the folder `name` and the folders above it inside the machine folder, with `mode`.
[[nodiscard]] MachineFileStatus MakeMachineFolders(const std::filesystem::path& folder,
                                                   const std::filesystem::path& name,
                                                   mode_t mode = 0755);

// `path` relative to `folder` when it lies below it; empty otherwise.
[[nodiscard]] std::filesystem::path MachineRelative(const std::filesystem::path& folder,
                                                    const std::filesystem::path& path);

// Writes all of data to fd, going on after short writes and interruptions; false on an error.
[[nodiscard]] bool WriteAll(int fd, std::string_view data);

}  // namespace corvane::emulated
