#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "files_under_test.h"
#include "platform/file_system.h"
#include "platform/win_errors.h"
#include "platform/windows_path.h"

namespace corvane {
namespace {

constexpr std::uint32_t kVisibleBits =
    win::kFileAttributeReadOnly | win::kFileAttributeHidden | win::kFileAttributeSystem;

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    services_ = testing::MakeServicesUnderTest();
    scratch_ = services_->scratch();
  }

  FileSystem& files() { return services_->files(); }
  [[nodiscard]] std::string at(std::string_view name) const { return PathJoin(scratch_, name); }

  std::string read(std::string_view path) {
    std::string bytes;
    const std::uint32_t error = files().readFile(path, bytes);
    return error == 0 ? bytes : "<error " + std::to_string(error) + ">";
  }

  std::uint32_t attributesOf(std::string_view path) {
    std::uint32_t value = 0;
    const std::uint32_t error = files().attributes(path, value);
    return error == 0 ? value : win::kInvalidFileAttributes;
  }

  std::unique_ptr<testing::ServicesUnderTest> services_;
  std::string scratch_;
};

TEST_F(FilesTest, NamesMatchWithoutRegardToCase) {
  ASSERT_EQ(files().createDirectory(at("Sub Folder")), 0U);
  ASSERT_EQ(files().writeFile(at(R"(Sub Folder\Mixed Case.TXT)"), "first"), 0U);

  EXPECT_TRUE(files().exists(at(R"(SUB FOLDER\mixed case.txt)")));
  EXPECT_EQ(read(at(R"(sub folder\MIXED CASE.txt)")), "first");

  // Writing through another spelling replaces the one file instead of adding a second.
  ASSERT_EQ(files().writeFile(at(R"(sub folder\mixed case.txt)"), "second"), 0U);
  EXPECT_EQ(read(at(R"(Sub Folder\Mixed Case.TXT)")), "second");
  EXPECT_EQ(files().deleteFile(at(R"(SUB FOLDER\MIXED CASE.TXT)")), 0U);
  EXPECT_FALSE(files().exists(at(R"(Sub Folder\Mixed Case.TXT)")));
}

TEST_F(FilesTest, ReportsMissingFilesAndFolders) {
  std::uint32_t value = 0;
  EXPECT_EQ(files().attributes(at("missing.txt"), value), win::kErrorFileNotFound);
  EXPECT_EQ(files().attributes(at(R"(missing\file.txt)"), value), win::kErrorPathNotFound);
  EXPECT_EQ(files().deleteFile(at("missing.txt")), win::kErrorFileNotFound);
  std::string bytes;
  EXPECT_EQ(files().readFile(at("missing.txt"), bytes), win::kErrorFileNotFound);
  EXPECT_EQ(files().writeFile(at(R"(missing\file.txt)"), "x"), win::kErrorPathNotFound);
  EXPECT_FALSE(files().exists(at("missing.txt")));
  EXPECT_FALSE(files().exists(""));

  // A file is not a folder on the way to another file.
  ASSERT_EQ(files().writeFile(at("plain.txt"), "x"), 0U);
  EXPECT_FALSE(files().exists(at(R"(plain.txt\inner.txt)")));
}

TEST_F(FilesTest, FoldersAreNotFiles) {
  ASSERT_EQ(files().createDirectory(at("folder")), 0U);
  EXPECT_NE(attributesOf(at("folder")) & win::kFileAttributeDirectory, 0U);
  EXPECT_EQ(attributesOf(scratch_) & win::kFileAttributeDirectory, win::kFileAttributeDirectory);
  EXPECT_EQ(files().deleteFile(at("folder")), win::kErrorAccessDenied);
  std::string bytes;
  EXPECT_EQ(files().readFile(at("folder"), bytes), win::kErrorAccessDenied);
  EXPECT_TRUE(files().exists(at("folder")));
}

TEST_F(FilesTest, OpenFollowsCreationDispositions) {
  std::unique_ptr<File> file;
  const std::string path = at("data.bin");
  EXPECT_EQ(files().open(path, FileAccess::kRead, FileCreation::kOpenExisting,
                         win::kFileAttributeNormal, file),
            win::kErrorFileNotFound);
  EXPECT_EQ(files().open(path, FileAccess::kWrite, FileCreation::kTruncateExisting,
                         win::kFileAttributeNormal, file),
            win::kErrorFileNotFound);

  ASSERT_EQ(files().open(path, FileAccess::kReadWrite, FileCreation::kCreateNew,
                         win::kFileAttributeNormal, file),
            0U);
  const std::string content = "0123456789";
  ASSERT_EQ(file->write(std::as_bytes(std::span(content.data(), content.size()))), 0U);
  std::uint64_t size = 0;
  ASSERT_EQ(file->size(size), 0U);
  EXPECT_EQ(size, 10U);
  ASSERT_EQ(file->seek(4), 0U);
  std::array<std::byte, 4> buffer{};
  std::size_t got = 0;
  ASSERT_EQ(file->read(buffer, got), 0U);
  ASSERT_EQ(got, 4U);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.data()), got), "4567");
  file.reset();

  EXPECT_EQ(files().open(path, FileAccess::kWrite, FileCreation::kCreateNew,
                         win::kFileAttributeNormal, file),
            win::kErrorFileExists);
  ASSERT_EQ(files().open(path, FileAccess::kReadWrite, FileCreation::kOpenAlways,
                         win::kFileAttributeNormal, file),
            0U);
  file.reset();
  EXPECT_EQ(read(path), content);
  ASSERT_EQ(files().open(path, FileAccess::kWrite, FileCreation::kTruncateExisting,
                         win::kFileAttributeNormal, file),
            0U);
  file.reset();
  EXPECT_EQ(read(path), "");
}

// The local configuration copy is kept hidden: its attributes are cleared before each
// rewrite and set to hidden alone after it.
TEST_F(FilesTest, HiddenFileIsKeptAndGuardsAgainstPlainOverwrite) {
  const std::string path = at("item.xml");
  ASSERT_EQ(files().writeFile(path, "one"), 0U);
  ASSERT_EQ(files().setAttributes(path, win::kFileAttributeHidden), 0U);
  EXPECT_EQ(attributesOf(path) & kVisibleBits, win::kFileAttributeHidden);
  EXPECT_EQ(read(path), "one");

  // CreateFile(CREATE_ALWAYS) of a hidden file without asking for hidden is refused, as
  // documented for CreateFile; Wine lets it through.
  if (!services_->underWine()) {
    EXPECT_EQ(files().writeFile(path, "two"), win::kErrorAccessDenied);
    EXPECT_EQ(read(path), "one");
  }
  EXPECT_EQ(files().writeFile(path, "two", win::kFileAttributeHidden), 0U);
  EXPECT_EQ(read(path), "two");
  EXPECT_EQ(attributesOf(path) & kVisibleBits, win::kFileAttributeHidden);

  ASSERT_EQ(files().setAttributes(path, win::kFileAttributeNormal), 0U);
  EXPECT_EQ(attributesOf(path) & kVisibleBits, 0U);
  EXPECT_EQ(files().writeFile(path, "three"), 0U);
  EXPECT_EQ(read(path), "three");
}

TEST_F(FilesTest, AttributesRoundTrip) {
  const std::string path = at("attributes.txt");
  ASSERT_EQ(files().writeFile(path, "x"), 0U);
  EXPECT_EQ(attributesOf(path) & (kVisibleBits | win::kFileAttributeDirectory), 0U);
  const std::uint32_t combinations[] = {
      win::kFileAttributeReadOnly,
      win::kFileAttributeHidden,
      win::kFileAttributeSystem,
      win::kFileAttributeHidden | win::kFileAttributeSystem,
      kVisibleBits,
      win::kFileAttributeNormal,
  };
  for (const std::uint32_t bits : combinations) {
    ASSERT_EQ(files().setAttributes(path, bits), 0U) << bits;
    EXPECT_EQ(attributesOf(path) & kVisibleBits, bits & kVisibleBits) << bits;
  }
  EXPECT_EQ(files().setAttributes(at("missing.txt"), win::kFileAttributeHidden),
            win::kErrorFileNotFound);
}

TEST_F(FilesTest, ReadOnlyFileCanBeReadButNotChangedOrDeleted) {
  const std::string path = at("locked.txt");
  ASSERT_EQ(files().writeFile(path, "keep"), 0U);
  ASSERT_EQ(files().setAttributes(path, win::kFileAttributeReadOnly), 0U);

  EXPECT_EQ(files().deleteFile(path), win::kErrorAccessDenied);
  // Wine keeps read-only as missing write permission, which does not stop root.
  if (!services_->underWine()) {
    EXPECT_EQ(files().writeFile(path, "lost"), win::kErrorAccessDenied);
    std::unique_ptr<File> file;
    EXPECT_EQ(files().open(path, FileAccess::kReadWrite, FileCreation::kOpenExisting,
                           win::kFileAttributeNormal, file),
              win::kErrorAccessDenied);
    EXPECT_EQ(read(path), "keep");
  }

  ASSERT_EQ(files().setAttributes(path, win::kFileAttributeNormal), 0U);
  EXPECT_EQ(files().deleteFile(path), 0U);
  EXPECT_FALSE(files().exists(path));
}

// A pinned file keeps its bytes: nothing may write, truncate, delete or rename it, or put
// another file in its place, until the pin ends; reading it, through the pin or the path,
// and copying it still work.
TEST_F(FilesTest, PinnedFileCannotChangeUntilReleased) {
  const std::string path = at("setup.exe");
  ASSERT_EQ(files().writeFile(path, "verified"), 0U);
  ASSERT_EQ(files().writeFile(at("other.exe"), "other"), 0U);
  std::unique_ptr<File> pin;
  ASSERT_EQ(files().pin(path, pin), 0U);

  std::unique_ptr<File> writer;
  EXPECT_EQ(files().open(path, FileAccess::kReadWrite, FileCreation::kOpenExisting,
                         win::kFileAttributeNormal, writer),
            win::kErrorSharingViolation);
  EXPECT_EQ(files().writeFile(path, "swapped"), win::kErrorSharingViolation);
  EXPECT_EQ(files().deleteFile(path), win::kErrorSharingViolation);
  EXPECT_EQ(files().move(path, at("moved.exe"), 0), win::kErrorSharingViolation);
  // Replacing an open file by a rename is refused as access denied.
  EXPECT_EQ(files().move(at("other.exe"), path, win::kMoveFileReplaceExisting),
            win::kErrorAccessDenied);
  EXPECT_EQ(files().copy(at("other.exe"), path, false), win::kErrorSharingViolation);
  // Nor can the folder that holds it be renamed (Wine renames it).
  if (!services_->underWine()) {
    EXPECT_EQ(files().move(scratch_, scratch_ + "-moved", 0), win::kErrorAccessDenied);
  }

  EXPECT_EQ(read(path), "verified");
  ASSERT_EQ(files().copy(path, at("copy.exe"), true), 0U);
  EXPECT_EQ(read(at("copy.exe")), "verified");
  std::array<std::byte, 16> buffer{};
  std::size_t got = 0;
  ASSERT_EQ(pin->read(buffer, got), 0U);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.data()), got), "verified");
  EXPECT_NE(pin->write(std::as_bytes(std::span("x", 1))), 0U);

  // Pinned twice, it stays pinned until both pins end.
  std::unique_ptr<File> second;
  ASSERT_EQ(files().pin(path, second), 0U);
  pin.reset();
  EXPECT_EQ(files().deleteFile(path), win::kErrorSharingViolation);
  second.reset();
  EXPECT_EQ(files().writeFile(path, "changed"), 0U);
  EXPECT_EQ(read(path), "changed");
  EXPECT_EQ(files().deleteFile(path), 0U);

  EXPECT_EQ(files().pin(at("missing.exe"), pin), win::kErrorFileNotFound);
  EXPECT_EQ(files().pin(scratch_, pin), win::kErrorAccessDenied);
}

TEST_F(FilesTest, MoveRenamesAndReplacesOnlyWhenAsked) {
  const std::string from = at("corvane.exe");
  const std::string to = at("corvane.exe.old");
  ASSERT_EQ(files().writeFile(from, "new"), 0U);
  ASSERT_EQ(files().writeFile(to, "old"), 0U);

  EXPECT_EQ(files().move(from, to, 0), win::kErrorAlreadyExists);
  EXPECT_EQ(read(from), "new");
  EXPECT_EQ(read(to), "old");

  ASSERT_EQ(files().move(from, to, win::kMoveFileReplaceExisting), 0U);
  EXPECT_FALSE(files().exists(from));
  EXPECT_EQ(read(to), "new");

  // Back again, plainly, now that the name is free; attributes travel with the file.
  ASSERT_EQ(files().setAttributes(to, win::kFileAttributeHidden), 0U);
  ASSERT_EQ(files().move(to, from, 0), 0U);
  EXPECT_EQ(attributesOf(from) & kVisibleBits, win::kFileAttributeHidden);

  EXPECT_EQ(files().move(at("missing.txt"), at("elsewhere.txt"), 0), win::kErrorFileNotFound);
  EXPECT_EQ(files().move(from, at(R"(missing\corvane.exe)"), 0), win::kErrorPathNotFound);
  EXPECT_TRUE(files().exists(from));

  // A read-only target is not replaced (Wine as root does replace it).
  if (services_->underWine()) return;
  ASSERT_EQ(files().writeFile(to, "guarded"), 0U);
  ASSERT_EQ(files().setAttributes(to, win::kFileAttributeReadOnly), 0U);
  EXPECT_EQ(files().move(from, to, win::kMoveFileReplaceExisting), win::kErrorAccessDenied);
  EXPECT_EQ(read(to), "guarded");
  EXPECT_TRUE(files().exists(from));
}

TEST_F(FilesTest, MoveCanChangeTheCaseOfAName) {
  ASSERT_EQ(files().writeFile(at("setup.exe"), "x"), 0U);
  ASSERT_EQ(files().move(at("setup.exe"), at("SETUP.EXE"), 0), 0U);
  EXPECT_EQ(read(at("Setup.Exe")), "x");
}

TEST_F(FilesTest, CopyHonoursFailIfExists) {
  const std::string source = at("download.bin");
  const std::string target = at("installed.bin");
  ASSERT_EQ(files().writeFile(source, "fresh"), 0U);

  ASSERT_EQ(files().copy(source, target, true), 0U);
  EXPECT_EQ(read(target), "fresh");
  EXPECT_EQ(read(source), "fresh");

  ASSERT_EQ(files().writeFile(target, "stale"), 0U);
  EXPECT_EQ(files().copy(source, target, true), win::kErrorFileExists);
  EXPECT_EQ(read(target), "stale");
  ASSERT_EQ(files().copy(source, target, false), 0U);
  EXPECT_EQ(read(target), "fresh");

  // A read-only target is not replaced (Wine as root does replace it).
  ASSERT_EQ(files().setAttributes(target, win::kFileAttributeReadOnly), 0U);
  if (!services_->underWine()) {
    EXPECT_EQ(files().copy(source, target, false), win::kErrorAccessDenied);
  }
  ASSERT_EQ(files().setAttributes(target, win::kFileAttributeNormal), 0U);

  EXPECT_EQ(files().copy(at("missing.bin"), target, false), win::kErrorFileNotFound);
  EXPECT_EQ(read(target), "fresh");
}

TEST_F(FilesTest, CopyTakesTheSourcesAttributesAndNeverEatsItsSource) {
  const std::string source = at("hidden.bin");
  ASSERT_EQ(files().writeFile(source, "payload"), 0U);
  ASSERT_EQ(files().setAttributes(source, win::kFileAttributeHidden), 0U);
  ASSERT_EQ(files().copy(source, at("copy.bin"), true), 0U);
  EXPECT_EQ(attributesOf(at("copy.bin")) & kVisibleBits, win::kFileAttributeHidden);

  // Copying a file onto itself, under any spelling, fails and keeps its bytes.
  EXPECT_NE(files().copy(source, source, false), 0U);
  EXPECT_NE(files().copy(source, at("HIDDEN.BIN"), false), 0U);
  EXPECT_EQ(read(source), "payload");
}

TEST_F(FilesTest, CreatesFoldersOneByOneOrAsAChain) {
  EXPECT_EQ(files().createDirectory(at(R"(a\b)")), win::kErrorPathNotFound);
  ASSERT_EQ(files().createDirectory(at("a")), 0U);
  EXPECT_EQ(files().createDirectory(at("A")), win::kErrorAlreadyExists);

  ASSERT_EQ(files().createDirectories(at(R"(a\b\c\d)")), 0U);
  EXPECT_TRUE(files().exists(at(R"(A\B\C\D)")));
  EXPECT_EQ(files().createDirectories(at(R"(a\b\c\d)")), 0U);  // already there

  ASSERT_EQ(files().writeFile(at("file"), "x"), 0U);
  EXPECT_EQ(files().createDirectory(at("file")), win::kErrorAlreadyExists);
  EXPECT_NE(files().createDirectories(at(R"(file\below)")), 0U);
}

// Paths reach MAX_PATH at 260 UTF-16 units with the terminating zero; folders stop 12
// units earlier. Both limits hold with either backend, whatever the system underneath.
// Listing a folder: what is directly inside, names as spelled, folders marked, "." and ".."
// left out; an empty folder is no error, a missing one or a file is.
TEST_F(FilesTest, ListsAFoldersFilesAndFolders) {
  const auto listed = [&](std::string_view folder, std::vector<FolderEntry>& entries) {
    entries = {{"stale", 0}};
    return files().listFolder(folder, entries);
  };
  std::vector<FolderEntry> entries;
  ASSERT_EQ(files().createDirectory(at("list")), 0U);
  ASSERT_EQ(listed(at("list"), entries), 0U);
  EXPECT_TRUE(entries.empty());

  ASSERT_EQ(files().writeFile(at(R"(list\Mixed Case.TXT)"), "x"), 0U);
  ASSERT_EQ(files().writeFile(at(R"(list\~cv0123ABCD.tmp)"), "x", win::kFileAttributeHidden), 0U);
  ASSERT_EQ(files().createDirectory(at(R"(list\Inner)")), 0U);
  ASSERT_EQ(files().writeFile(at(R"(list\Inner\deeper.txt)"), "x"), 0U);
  ASSERT_EQ(listed(at("list"), entries), 0U);
  std::map<std::string, std::uint32_t> found;
  for (const FolderEntry& entry : entries) found[entry.name] = entry.attributes;
  ASSERT_EQ(found.size(), 3U);
  ASSERT_EQ(found.count("Mixed Case.TXT"), 1U);
  EXPECT_EQ(found["Mixed Case.TXT"] & win::kFileAttributeDirectory, 0U);
  EXPECT_EQ(found["~cv0123ABCD.tmp"] & (win::kFileAttributeHidden | win::kFileAttributeDirectory),
            win::kFileAttributeHidden);
  EXPECT_NE(found["Inner"] & win::kFileAttributeDirectory, 0U);
  // A trailing backslash names the same folder.
  ASSERT_EQ(listed(at("list") + "\\", entries), 0U);
  EXPECT_EQ(entries.size(), 3U);

  EXPECT_NE(listed(at("missing"), entries), 0U);
  EXPECT_EQ(entries.size(), 1U);  // unchanged on failure
  EXPECT_NE(listed(at(R"(list\Mixed Case.TXT)"), entries), 0U);
}

TEST_F(FilesTest, PathsLongerThanMaxPathFail) {
  const std::string folder = at(std::string(100, 'd'));
  ASSERT_EQ(files().createDirectory(folder), 0U);
  const auto pathOfLength = [&](std::size_t length) {
    return PathJoin(folder, std::string(length - folder.size() - 1, 'f'));
  };

  const std::string longest = pathOfLength(259);
  ASSERT_EQ(longest.size(), 259U);
  EXPECT_EQ(files().writeFile(longest, "fits"), 0U);
  EXPECT_EQ(read(longest), "fits");

  const std::string tooLong = pathOfLength(260);
  EXPECT_EQ(files().writeFile(tooLong, "x"), win::kErrorPathNotFound);
  EXPECT_FALSE(files().exists(tooLong));
  std::uint32_t value = 0;
  EXPECT_EQ(files().attributes(tooLong, value), win::kErrorPathNotFound);
  EXPECT_EQ(files().copy(longest, tooLong, false), win::kErrorPathNotFound);
  EXPECT_EQ(files().move(longest, tooLong, 0), win::kErrorPathNotFound);
  EXPECT_EQ(read(longest), "fits");

  EXPECT_EQ(files().createDirectory(pathOfLength(247)), 0U);
  EXPECT_EQ(files().createDirectory(pathOfLength(248)), win::kErrorFilenameExcedRange);
  EXPECT_EQ(files().createDirectory(at(std::string(300, 'x'))), win::kErrorFilenameExcedRange);
}

}  // namespace
}  // namespace corvane
