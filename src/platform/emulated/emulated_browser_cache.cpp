#include "platform/emulated/emulated_browser_cache.h"

#include <algorithm>
#include <cctype>
#include <system_error>
#include <utility>

#include "platform/emulated/drive_c.h"
#include "platform/emulated/machine_files.h"
#include "platform/environment.h"
#include "platform/processes.h"
#include "platform/win_errors.h"

namespace corvane::emulated {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    lines.push_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

class EmulatedCacheLibrary final : public CacheLibrary {
 public:
  explicit EmulatedCacheLibrary(std::map<std::string, bool> exports)
      : exports_(std::move(exports)) {}

  bool HasExport(std::string_view name) override { return exports_.contains(std::string(name)); }
  std::optional<bool> SslEmptyCache(std::uint32_t /*flags*/) override {
    return Call("SslEmptyCacheW");
  }
  std::optional<bool> IncrementUrlCacheHeaderData(std::uint32_t /*index*/,
                                                  std::uint32_t& value) override {
    std::optional<bool> result = Call("IncrementUrlCacheHeaderData");
    if (result.value_or(false)) value = ++counter_;
    return result;
  }

 private:
  std::optional<bool> Call(const std::string& name) const {
    const auto it = exports_.find(name);
    if (it == exports_.end()) return std::nullopt;
    return it->second;
  }

  std::map<std::string, bool> exports_;
  std::uint32_t counter_ = 0;
};

class EmulatedUrlCacheFind final : public UrlCacheFind {
 public:
  explicit EmulatedUrlCacheFind(std::vector<UrlCacheEntry> entries) : entries(std::move(entries)) {}
  std::vector<UrlCacheEntry> entries;
  std::size_t next = 0;
};

// Hands out entry `find.next` when it fits `size`.
std::uint32_t Hand(EmulatedUrlCacheFind& find, std::uint32_t& size, UrlCacheEntry& entry) {
  if (find.next >= find.entries.size()) return win::kErrorNoMoreItems;
  const UrlCacheEntry& candidate = find.entries[find.next];
  const std::uint32_t needed = UrlCacheEntrySize(candidate.sourceUrl, candidate.localFileName);
  if (size < needed) {
    size = needed;
    return win::kErrorInsufficientBuffer;
  }
  entry = candidate;
  ++find.next;
  return win::kErrorSuccess;
}

}  // namespace

CacheLibrariesDescription ParseCacheLibraries(std::string_view text, std::string_view fileName) {
  CacheLibrariesDescription description;
  std::string* section = nullptr;
  std::string current;
  std::size_t number = 0;
  for (std::string_view raw : Lines(text)) {
    ++number;
    const std::string_view line = Trim(raw);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    auto fail = [&](std::string_view why) {
      description.error +=
          std::string(fileName) + ":" + std::to_string(number) + ": " + std::string(why) + "\n";
    };
    if (line.front() == '[') {
      if (line.back() != ']' || line.size() < 3) {
        fail("a section is \"[library]\"");
        section = nullptr;
        continue;
      }
      current = Lower(Trim(line.substr(1, line.size() - 2)));
      description.libraries[current];
      section = &current;
      continue;
    }
    const std::size_t equals = line.find('=');
    if (section == nullptr || equals == std::string_view::npos) {
      fail("an export is \"Name = yes|no\" inside a library's section");
      continue;
    }
    const std::string name(Trim(line.substr(0, equals)));
    const std::string value = Lower(Trim(line.substr(equals + 1)));
    if (name.empty() || (value != "yes" && value != "no")) {
      fail("an export is \"Name = yes|no\"");
      continue;
    }
    description.libraries[*section][name] = value == "yes";
  }
  return description;
}

std::string DefaultCacheLibrariesText() {
  return "; The browser's cache libraries on this PC: a section for each library that loads,\n"
         "; a line for each export it has (yes: calls succeed, no: they fail).\n"
         "[schannel.dll]\nSslEmptyCacheW = yes\n\n"
         "[wininet.dll]\nIncrementUrlCacheHeaderData = yes\n\n"
         "[InetCpl.cpl]\nClearMyTracksByProcessW = yes\n";
}

std::vector<UrlCacheIndexLine> ParseUrlCacheIndex(std::string_view text) {
  std::vector<UrlCacheIndexLine> lines;
  for (std::string_view raw : Lines(text)) {
    UrlCacheIndexLine line;
    line.text = std::string(raw);  // written back as it stands when it lists no entry
    if (raw.ends_with('\r')) raw.remove_suffix(1);
    const std::size_t tab = raw.find('\t');
    if (tab != std::string_view::npos && tab > 0 && raw.front() != '#' && raw.front() != ';') {
      const std::string_view rest = raw.substr(tab + 1);
      const std::size_t tab2 = rest.find('\t');
      line.url = std::string(raw.substr(0, tab));
      line.file = std::string(rest.substr(0, tab2));
      // Fields with control characters could not be written back as they were read.
      auto plain = [](const std::string& field) {
        return std::none_of(field.begin(), field.end(),
                            [](char c) { return static_cast<unsigned char>(c) < 0x20; });
      };
      line.valid = !line.file.empty() && plain(line.url) && plain(line.file);
      if (tab2 != std::string_view::npos) {
        std::string_view flags = rest.substr(tab2 + 1);
        while (line.valid) {
          const std::size_t comma = flags.find(',');
          const std::string flag = Lower(Trim(flags.substr(0, comma)));
          if (flag == "cookie") {
            line.type = win::kCookieCacheEntry;
          } else if (flag == "history") {
            line.type = win::kUrlHistoryCacheEntry;
          } else if (flag == "locked") {
            line.locked = true;
          } else if (!flag.empty()) {
            line.valid = false;
          }
          if (comma == std::string_view::npos) break;
          flags.remove_prefix(comma + 1);
        }
      }
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string WriteUrlCacheIndex(const std::vector<UrlCacheIndexLine>& lines) {
  std::string text;
  for (const UrlCacheIndexLine& line : lines) {
    if (!line.valid) {
      text += line.text + "\n";
      continue;
    }
    text += line.url + "\t" + line.file;
    std::string flags;
    if (line.type == win::kCookieCacheEntry) flags = "cookie";
    if (line.type == win::kUrlHistoryCacheEntry) flags = "history";
    if (line.locked) flags += flags.empty() ? "locked" : ",locked";
    if (!flags.empty()) text += "\t" + flags;
    text += "\n";
  }
  return text;
}

std::uint32_t UrlCacheEntrySize(std::string_view url, std::string_view localFileName) {
  constexpr std::uint32_t kRecord = 80;  // INTERNET_CACHE_ENTRY_INFOA of a 32-bit process
  const std::size_t texts = url.size() + 1 + localFileName.size() + 1;
  return kRecord + static_cast<std::uint32_t>((texts + 3) & ~std::size_t{3});
}

EmulatedBrowserCache::EmulatedBrowserCache(MachineFolder folder, const Environment& environment,
                                           Processes& processes)
    : folder_(std::move(folder)), environment_(environment), processes_(processes) {
  const std::filesystem::path ini = folder_.root() / "cache.ini";
  if (StatMachineFile(folder_.root(), "cache.ini") == MachineFileStatus::kMissing) {
    (void)CreateMachineFile(folder_.root(), "cache.ini", DefaultCacheLibrariesText());
  }
  std::string text;
  (void)ReadMachineFile(folder_.root(), "cache.ini", text, kMaxMachineText);
  description_ = ParseCacheLibraries(text, ini.string());
}

std::unique_ptr<CacheLibrary> EmulatedBrowserCache::LoadCacheLibrary(std::string_view name) {
  const auto it = description_.libraries.find(Lower(name));
  if (it == description_.libraries.end()) return nullptr;
  return std::make_unique<EmulatedCacheLibrary>(it->second);
}

std::uint32_t EmulatedBrowserCache::StartHidden(std::string_view commandLine) {
  return processes_.run(commandLine, false, nullptr);
}

std::string EmulatedBrowserCache::cacheFolderWindows() const {
  return environment_.variable("LOCALAPPDATA").value_or(R"(C:\Users\User\AppData\Local)") +
         R"(\Microsoft\Windows\Temporary Internet Files)";
}

std::filesystem::path EmulatedBrowserCache::cacheFolder() const {
  ResolvedPath resolved;
  if (DriveC(folder_.driveC()).resolve(cacheFolderWindows(), "C:\\", resolved) == 0) {
    return resolved.host;
  }
  // Not made yet: where it will be, below the drive.
  std::string below = cacheFolderWindows();
  if (!below.starts_with("C:\\")) return {};
  std::replace(below.begin(), below.end(), '\\', '/');
  return folder_.driveC() / below.substr(3);
}

std::vector<UrlCacheIndexLine> EmulatedBrowserCache::readIndex() const {
  const std::filesystem::path folder = cacheFolder();
  if (folder.empty()) return {};
  std::string text;
  (void)ReadMachineFile(folder_.root(), MachineRelative(folder_.root(), folder / "urlcache.txt"),
                        text, kMaxMachineText);
  return ParseUrlCacheIndex(text);
}

bool EmulatedBrowserCache::writeIndex(const std::vector<UrlCacheIndexLine>& lines) const {
  const std::filesystem::path folder = cacheFolder();
  if (folder.empty()) return false;
  return WriteMachineFileAtomically(folder_.root(),
                                    MachineRelative(folder_.root(), folder / "urlcache.txt"),
                                    WriteUrlCacheIndex(lines)) == MachineFileStatus::kOk;
}

std::uint32_t EmulatedBrowserCache::FindFirstEntry(std::uint32_t filter, std::uint32_t& size,
                                                   UrlCacheEntry& entry,
                                                   std::unique_ptr<UrlCacheFind>& find) {
  find.reset();
  std::vector<UrlCacheEntry> entries;
  for (const UrlCacheIndexLine& line : readIndex()) {
    if (!line.valid || (line.type & filter) == 0) continue;
    entries.push_back({line.url, cacheFolderWindows() + "\\" + line.file, line.type});
  }
  auto found = std::make_unique<EmulatedUrlCacheFind>(std::move(entries));
  const std::uint32_t error = Hand(*found, size, entry);
  if (error == win::kErrorSuccess) find = std::move(found);
  return error;
}

std::uint32_t EmulatedBrowserCache::FindNextEntry(UrlCacheFind& find, std::uint32_t& size,
                                                  UrlCacheEntry& entry) {
  auto* ours = dynamic_cast<EmulatedUrlCacheFind*>(&find);
  if (ours == nullptr) return win::kErrorInvalidHandle;
  return Hand(*ours, size, entry);
}

std::uint32_t EmulatedBrowserCache::DeleteEntry(std::string_view sourceUrl) {
  std::vector<UrlCacheIndexLine> lines = readIndex();
  const auto it = std::find_if(lines.begin(), lines.end(), [&](const UrlCacheIndexLine& line) {
    return line.valid && line.url == sourceUrl;
  });
  if (it == lines.end()) return win::kErrorFileNotFound;
  if (it->locked) return win::kErrorSharingViolation;
  // The file must stay inside the cache folder: resolve it as Windows would.
  ResolvedPath resolved;
  if (DriveC(folder_.driveC()).resolve(cacheFolderWindows() + "\\" + it->file, "C:\\", resolved) ==
          0 &&
      resolved.exists && !resolved.isDirectory &&
      Lower(resolved.windows).starts_with(Lower(cacheFolderWindows() + "\\"))) {
    std::error_code ec;
    std::filesystem::remove(resolved.host, ec);
  }
  lines.erase(it);
  return writeIndex(lines) ? win::kErrorSuccess : win::kErrorAccessDenied;
}

std::uint32_t EmulatedBrowserCache::UnlockEntryFile(std::string_view sourceUrl) {
  std::vector<UrlCacheIndexLine> lines = readIndex();
  const auto it = std::find_if(lines.begin(), lines.end(), [&](const UrlCacheIndexLine& line) {
    return line.valid && line.url == sourceUrl;
  });
  if (it == lines.end()) return win::kErrorFileNotFound;
  it->locked = false;
  return writeIndex(lines) ? win::kErrorSuccess : win::kErrorAccessDenied;
}

}  // namespace corvane::emulated
