#include "checks/hosts_file.h"

#include <memory>
#include <vector>

#include "checks/environment_checks.h"
#include "checks/hosts_matcher.h"
#include "checks/network_checks.h"
#include "config/parse_check_config.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/replacement_file.h"
#include "platform/win_errors.h"

namespace corvane {
namespace {

constexpr std::uint32_t kKeptAttributes =
    win::kFileAttributeHidden | win::kFileAttributeSystem | win::kFileAttributeArchive;

std::vector<HostNamePattern> ConfiguredNames(const ConfigSection& section) {
  std::vector<HostNamePattern> names;
  names.reserve(section.entries.size());
  for (const ConfigEntry& entry : section.entries) names.emplace_back(entry.text);
  return names;
}

enum class ReadResult : std::uint8_t { kRead, kMissing, kUnreadable };

// The whole file, read into a buffer of the file's size so that the text is held once.
ReadResult ReadWhole(FileSystem& files, const std::string& path, std::string& text) {
  std::unique_ptr<File> file;
  const std::uint32_t error = files.open(path, FileAccess::kRead, FileCreation::kOpenExisting,
                                         win::kFileAttributeNormal, file);
  if (error == win::kErrorFileNotFound || error == win::kErrorPathNotFound) {
    return ReadResult::kMissing;
  }
  if (error != win::kErrorSuccess) return ReadResult::kUnreadable;
  std::uint64_t size = 0;
  if (file->size(size) != win::kErrorSuccess) return ReadResult::kUnreadable;
  // Straight into the text; a file that grows meanwhile is read to its end all the same.
  text.assign(static_cast<std::size_t>(size) + 1, '\0');
  std::size_t filled = 0;
  for (;;) {
    if (filled == text.size()) text.resize(text.size() + text.size() / 2 + 4096);
    std::size_t got = 0;
    const auto free = std::as_writable_bytes(std::span(text).subspan(filled));
    if (file->read(free, got) != win::kErrorSuccess) return ReadResult::kUnreadable;
    if (got == 0) break;
    filled += got;
  }
  text.resize(filled);
  return ReadResult::kRead;
}

std::uint32_t Replace(FileSystem& files, const std::string& path, std::string_view content) {
  std::uint32_t attributes = 0;
  if (const std::uint32_t error = files.attributes(path, attributes)) return error;
  // Windows refuses to replace a read-only file; not every system underneath does.
  if ((attributes & win::kFileAttributeReadOnly) != 0) return win::kErrorAccessDenied;
  ReplacementFile replacement(files);
  if (const std::uint32_t error = replacement.create(path)) return error;
  if (const std::uint32_t error =
          replacement.file().write(std::as_bytes(std::span(content.data(), content.size())))) {
    return error;
  }
  if ((attributes & (win::kFileAttributeHidden | win::kFileAttributeSystem)) != 0) {
    if (const std::uint32_t error =
            files.setAttributes(replacement.path(), attributes & kKeptAttributes)) {
      return error;
    }
  }
  return replacement.commit();
}

}  // namespace

std::string HostsFilePath() {
  return CurrentPlatform().environment().expand(R"(%windir%\system32\drivers\etc\hosts)");
}

HostsRepairOutcome RepairHostsFile(const CheckConfig& config) {
  const ConfigSection* section = FindSection(config, "host");
  FileSystem& files = CurrentPlatform().files();
  const std::string path = HostsFilePath();
  std::string text;
  switch (ReadWhole(files, path, text)) {
    case ReadResult::kMissing:
      return HostsRepairOutcome::kUnchanged;
    case ReadResult::kUnreadable:
      return HostsRepairOutcome::kUnreadable;
    case ReadResult::kRead:
      break;
  }
  const std::vector<HostNamePattern> names =
      section != nullptr ? ConfiguredNames(*section) : std::vector<HostNamePattern>{};
  const HostsRemoval kept = RemoveHostsLines(text, names);
  if (kept.text == text) return HostsRepairOutcome::kUnchanged;
  text.clear();
  text.shrink_to_fit();
  if (Replace(files, path, kept.text) != win::kErrorSuccess) {
    return HostsRepairOutcome::kWriteFailed;
  }
  return HostsRepairOutcome::kRewritten;
}

bool CheckHostsFile(CheckConfig& config, bool repair) {
  const ConfigSection* section = FindSection(config, "host");
  if (section == nullptr) {
    config.hostsOk = true;
    return true;
  }
  if (repair) {
    const HostsRepairOutcome outcome = RepairHostsFile(config);
    if (outcome == HostsRepairOutcome::kUnreadable || outcome == HostsRepairOutcome::kWriteFailed) {
      config.hostsOk = false;
      return false;
    }
    CheckNameResolution(config);
    config.hostsOk = true;
    return true;
  }
  std::string text;
  // A file that cannot be read shows no mapping.
  if (ReadWhole(CurrentPlatform().files(), HostsFilePath(), text) == ReadResult::kRead) {
    const std::vector<HostNamePattern> names = ConfiguredNames(*section);
    if (HostsTextMapsAny(text, names)) {
      config.hostsOk = false;
      return false;
    }
  }
  config.hostsOk = true;
  return true;
}

}  // namespace corvane
