#pragma once

// Files and folders with Windows semantics: Windows paths (C:\... or relative to the
// current directory), names that compare without regard to case, FILE_ATTRIBUTE_* bits,
// and the Windows error codes of the real calls. Every operation returns a Windows error
// code (0 on success) and writes its outputs only on success.
//
// Paths: a full path of MAX_PATH (260) UTF-16 units or more fails with
// ERROR_PATH_NOT_FOUND, and a folder path longer than 247 units cannot be created
// (ERROR_FILENAME_EXCED_RANGE), as with the plain Win32 calls on Windows XP to 8, whatever
// long-path support the system underneath has.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

namespace win {
inline constexpr std::uint32_t kFileAttributeReadOnly = 0x01;
inline constexpr std::uint32_t kFileAttributeHidden = 0x02;
inline constexpr std::uint32_t kFileAttributeSystem = 0x04;
inline constexpr std::uint32_t kFileAttributeDirectory = 0x10;
inline constexpr std::uint32_t kFileAttributeArchive = 0x20;
inline constexpr std::uint32_t kFileAttributeNormal = 0x80;
inline constexpr std::uint32_t kInvalidFileAttributes = 0xFFFFFFFF;

inline constexpr std::uint32_t kMaxPath = 260;

// Errors of file operations that the shared list does not carry.
inline constexpr std::uint32_t kErrorDiskFull = 112;
inline constexpr std::uint32_t kErrorDirectory = 267;  // not a folder

// MoveFileEx flags.
inline constexpr std::uint32_t kMoveFileReplaceExisting = 0x1;
inline constexpr std::uint32_t kMoveFileCopyAllowed = 0x2;
inline constexpr std::uint32_t kMoveFileDelayUntilReboot = 0x4;
}  // namespace win

// An open file (CreateFile handle); closed when destroyed.
class File {
 public:
  File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&&) = delete;
  File& operator=(File&&) = delete;
  virtual ~File() = default;

  // Reads up to buffer.size() bytes at the file position; bytesRead is 0 at end of file.
  virtual std::uint32_t read(std::span<std::byte> buffer, std::size_t& bytesRead) = 0;
  // Writes all of data at the file position.
  virtual std::uint32_t write(std::span<const std::byte> data) = 0;
  // Moves the file position to offset bytes from the start.
  virtual std::uint32_t seek(std::uint64_t offset) = 0;
  virtual std::uint32_t size(std::uint64_t& bytes) = 0;
};

enum class FileAccess { kRead, kWrite, kReadWrite };

// CreateFile's creation disposition.
enum class FileCreation {
  kCreateNew,         // fails with ERROR_FILE_EXISTS when the file exists
  kCreateAlways,      // creates or truncates
  kOpenExisting,      // fails with ERROR_FILE_NOT_FOUND when the file is missing
  kOpenAlways,        // opens or creates
  kTruncateExisting,  // truncates an existing file; needs write access
};

// VS_FIXEDFILEINFO of a file's version resource, field for field.
struct FixedFileVersion {
  std::uint32_t signature = 0;  // 0xFEEF04BD
  std::uint32_t structVersion = 0;
  std::uint32_t fileVersionMS = 0;
  std::uint32_t fileVersionLS = 0;
  std::uint32_t productVersionMS = 0;
  std::uint32_t productVersionLS = 0;
  std::uint32_t fileFlagsMask = 0;
  std::uint32_t fileFlags = 0;
  std::uint32_t fileOS = 0;
  std::uint32_t fileType = 0;
  std::uint32_t fileSubtype = 0;
  std::uint32_t fileDateMS = 0;
  std::uint32_t fileDateLS = 0;
};

// One entry of a folder as FindFirstFile / FindNextFile report it.
struct FolderEntry {
  std::string name;  // the name alone, as spelled in the folder
  std::uint32_t attributes = 0;
};

class FileSystem {
 public:
  FileSystem() = default;
  FileSystem(const FileSystem&) = delete;
  FileSystem& operator=(const FileSystem&) = delete;
  FileSystem(FileSystem&&) = delete;
  FileSystem& operator=(FileSystem&&) = delete;
  virtual ~FileSystem() = default;

  // PathFileExists: a file or folder is there.
  [[nodiscard]] virtual bool exists(std::string_view path) = 0;

  // CreateFile. attributes apply when a file is created or overwritten: as on Windows,
  // overwriting (kCreateAlways, kTruncateExisting) a hidden or system file fails with
  // ERROR_ACCESS_DENIED unless attributes carry those bits too, and a read-only file cannot
  // be opened for writing. A folder cannot be opened (ERROR_ACCESS_DENIED).
  virtual std::uint32_t open(std::string_view path, FileAccess access, FileCreation creation,
                             std::uint32_t attributes, std::unique_ptr<File>& file) = 0;

  // GetFileAttributes / SetFileAttributes. A file without other attributes reads as
  // FILE_ATTRIBUTE_NORMAL or FILE_ATTRIBUTE_ARCHIVE, a folder has FILE_ATTRIBUTE_DIRECTORY.
  virtual std::uint32_t attributes(std::string_view path, std::uint32_t& attributes) = 0;
  virtual std::uint32_t setAttributes(std::string_view path, std::uint32_t attributes) = 0;

  // DeleteFile: files only; a read-only file is refused with ERROR_ACCESS_DENIED.
  virtual std::uint32_t deleteFile(std::string_view path) = 0;

  // MoveFileEx. Without kMoveFileReplaceExisting an existing target fails with
  // ERROR_ALREADY_EXISTS. With kMoveFileDelayUntilReboot nothing moves now: the move (or,
  // with an empty target, the deletion) is registered for the next system start.
  virtual std::uint32_t move(std::string_view from, std::string_view to, std::uint32_t flags) = 0;

  // CopyFile: failIfExists refuses an existing target with ERROR_FILE_EXISTS; the copy
  // takes the source's attributes. A read-only target cannot be replaced.
  virtual std::uint32_t copy(std::string_view from, std::string_view to, bool failIfExists) = 0;

  // CreateDirectory: the parent must exist; an existing folder or file fails with
  // ERROR_ALREADY_EXISTS.
  virtual std::uint32_t createDirectory(std::string_view path) = 0;

  // FindFirstFile / FindNextFile over folder\*: the files and folders directly inside, in no
  // particular order, without "." and "..". A folder that is missing (or a file) fails;
  // an empty one is success with no entries.
  virtual std::uint32_t listFolder(std::string_view folder, std::vector<FolderEntry>& entries) = 0;

  // The fixed part of the file's version resource (GetFileVersionInfo + VerQueryValue "\").
  virtual std::uint32_t fixedFileVersion(std::string_view path, FixedFileVersion& version) = 0;

  // Holds the file so that its bytes cannot change while `pinned` lives, for code that must
  // run or copy exactly what it has verified: opened for reading without write or delete
  // sharing (CreateFile with FILE_SHARE_READ only), so no process can write, truncate,
  // delete or rename it meanwhile (ERROR_SHARING_VIOLATION), while reading it, copying it and
  // starting a program from it still work. Reads through `pinned` start at the beginning.
  // On Windows a file that some handle has open for writing cannot be pinned
  // (ERROR_SHARING_VIOLATION). The emulated PC cannot stop other host processes writing the
  // file, so it takes a private copy when pinning: every read, copy, version query and
  // program start of that path through the emulated PC then gets the pinned bytes.
  // A folder cannot be pinned (ERROR_ACCESS_DENIED).
  [[nodiscard]] virtual std::uint32_t pin(std::string_view path, std::unique_ptr<File>& pinned) = 0;

  // The whole file's bytes.
  std::uint32_t readFile(std::string_view path, std::string& bytes);
  // Creates or truncates the file (kCreateAlways) and writes bytes.
  std::uint32_t writeFile(std::string_view path, std::string_view bytes,
                          std::uint32_t attributes = win::kFileAttributeNormal);
  // Creates the folder and any missing folders above it (SHCreateDirectoryEx). An existing
  // folder is success.
  std::uint32_t createDirectories(std::string_view path);
};

}  // namespace corvane
