#include "platform/emulated/emulated_registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <iterator>
#include <mutex>
#include <optional>
#include <sstream>
#include <system_error>

#include "platform/emulated/machine_files.h"
#include "platform/emulated/reg_file.h"
#include "platform/emulated/unique_fd.h"
#include "platform/utf.h"
#include "platform/win_errors.h"

namespace corvane::emulated {
namespace {

constexpr std::array<RegistryRoot, 3> kRoots = {
    RegistryRoot::kLocalMachine, RegistryRoot::kCurrentUser, RegistryRoot::kClassesRoot};

constexpr std::string_view kHiveComment =
    "Emulated Windows registry of Corvane. Change it with corvane-machine while Corvane\n"
    "runs; an editor's change is seen too, but may race with Corvane's next write.";

std::size_t HiveIndex(RegistryRoot root) { return static_cast<std::size_t>(root); }

std::string_view HiveFileName(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kLocalMachine:
      return "HKLM.reg";
    case RegistryRoot::kCurrentUser:
      return "HKCU.reg";
    case RegistryRoot::kClassesRoot:
      return "HKCR.reg";
  }
  return {};
}

// Replaces the hive `file` (registry/<name> of a machine folder) with `text` so that,
// whatever happens, the file holds either its old or its new content in full: write a
// temporary file beside it, flush it to disk, rename it over the old one, and flush the
// directory entry. A link planted as the hive or its temporary file is refused.
bool ReplaceFileAtomically(const std::filesystem::path& file, std::string_view text) {
  MachineWriteOptions options;
  options.sync = true;
  options.temporaryName = file.filename().string() + ".tmp";
  return WriteMachineFileAtomically(file.parent_path().parent_path(),
                                    file.parent_path().filename() / file.filename(), text,
                                    options) == MachineFileStatus::kOk;
}

// The name of the hive or lock `file` inside its machine folder.
std::filesystem::path InMachine(const std::filesystem::path& file) {
  return file.parent_path().filename() / file.filename();
}

// The COM class keys that WOW64 keeps apart on Windows 7; everything else below a Classes
// key is shared.
bool IsRedirectedClassKey(const std::string& folded) {
  static constexpr std::array<std::string_view, 5> kKeys = {"CLSID", "DIRECTSHOW", "INTERFACE",
                                                            "MEDIA TYPE", "MEDIAFOUNDATION"};
  return std::find(kKeys.begin(), kKeys.end(), folded) != kKeys.end();
}

// Keys below HKLM\SOFTWARE that both views share on Windows 7 (after Microsoft's list of
// registry keys affected by WOW64).
bool IsSharedSoftwareKey(const std::vector<std::string>& folded) {
  static constexpr std::array<std::string_view, 44> kShared = {
      "CLIENTS",
      "POLICIES",
      "REGISTEREDAPPLICATIONS",
      "MICROSOFT\\COM3",
      "MICROSOFT\\CRYPTOGRAPHY\\CALAIS",
      "MICROSOFT\\CRYPTOGRAPHY\\SERVICES",
      "MICROSOFT\\CTF\\SYSTEMSHARED",
      "MICROSOFT\\CTF\\TIP",
      "MICROSOFT\\DFS",
      "MICROSOFT\\DRIVER SIGNING",
      "MICROSOFT\\ENTERPRISECERTIFICATES",
      "MICROSOFT\\EVENTSYSTEM",
      "MICROSOFT\\MSMQ",
      "MICROSOFT\\NON-DRIVER SIGNING",
      "MICROSOFT\\NOTEPAD\\DEFAULTFONTS",
      "MICROSOFT\\OLE",
      "MICROSOFT\\RAS",
      "MICROSOFT\\RPC",
      "MICROSOFT\\SHARED TOOLS\\MSINFO",
      "MICROSOFT\\SYSTEMCERTIFICATES",
      "MICROSOFT\\TERMSERVLICENSING",
      "MICROSOFT\\TRANSACTION SERVER",
      "MICROSOFT\\WINDOWS\\CURRENTVERSION\\APP PATHS",
      "MICROSOFT\\WINDOWS\\CURRENTVERSION\\CONTROL PANEL\\CURSORS\\SCHEMES",
      "MICROSOFT\\WINDOWS\\CURRENTVERSION\\EXPLORER\\AUTOPLAYHANDLERS",
      "MICROSOFT\\WINDOWS\\CURRENTVERSION\\EXPLORER\\DRIVEICONS",
      "MICROSOFT\\WINDOWS\\CURRENTVERSION\\EXPLORER\\KINDMAP",
      "MICROSOFT\\WINDOWS\\CURRENTVERSION\\GROUP POLICY",
      "MICROSOFT\\WINDOWS\\CURRENTVERSION\\POLICIES",
      "MICROSOFT\\WINDOWS\\CURRENTVERSION\\PREVIEWHANDLERS",
      "MICROSOFT\\WINDOWS\\CURRENTVERSION\\SETUP",
      "MICROSOFT\\WINDOWS\\CURRENTVERSION\\TELEPHONY\\LOCATIONS",
      "MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\CONSOLE",
      "MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\FONTDPI",
      "MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\FONTLINK",
      "MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\FONTMAPPER",
      "MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\FONTS",
      "MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\FONTSUBSTITUTES",
      "MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\GRE_INITIALIZE",
      "MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\LANGUAGEPACK",
      "MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\NETWORKCARDS",
      "MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\PERFLIB",
      "MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\PRINT",
      "MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\PROFILELIST",
  };
  // folded[0] is SOFTWARE; compare what follows it.
  std::string below;
  for (std::size_t i = 1; i < folded.size(); ++i) {
    if (i > 1) below += '\\';
    below += folded[i];
    if (std::find(kShared.begin(), kShared.end(), below) != kShared.end()) return true;
  }
  return false;
}

// Inserts Wow6432Node where the 32-bit view of a 64-bit Windows keeps `parts`.
void RedirectToWow64(RegistryRoot root, std::vector<std::string>& parts) {
  std::vector<std::string> folded;
  folded.reserve(parts.size());
  for (const std::string& part : parts) folded.push_back(FoldRegName(part));
  const auto at = [&](std::size_t i) { return i < folded.size() ? folded[i] : std::string(); };
  const auto insertAt = [&](std::size_t i) {
    parts.insert(parts.begin() + static_cast<std::ptrdiff_t>(i), "Wow6432Node");
  };
  const auto classes = [&](std::size_t i) {
    if (IsRedirectedClassKey(at(i))) insertAt(i);
  };
  switch (root) {
    case RegistryRoot::kClassesRoot:
      classes(0);
      return;
    case RegistryRoot::kCurrentUser:
      if (at(0) == "SOFTWARE" && at(1) == "CLASSES") classes(2);
      return;
    case RegistryRoot::kLocalMachine:
      if (at(0) != "SOFTWARE" || at(1) == "WOW6432NODE") return;
      if (at(1) == "CLASSES") {
        classes(2);
      } else if (!IsSharedSoftwareKey(folded)) {
        insertAt(1);
      }
      return;
  }
}

// Names are held as the wide Windows calls would see them; the characters that would break
// a line of the hive file are refused.
std::optional<std::string> CleanName(std::string_view name) {
  std::string clean = Utf16ToUtf8(Utf8ToUtf16(name));
  if (clean.find_first_of(std::string_view("\0\r\n", 3)) != std::string::npos) {
    return std::nullopt;
  }
  return clean;
}

void MarkDeleted(RegNode& node) {
  node.deleted = true;
  for (auto& [folded, child] : node.subkeys) MarkDeleted(*child);
}

// What identifies one version of a hive file: every save renames a new file over it, so
// the inode changes even when size and time stay the same.
struct FileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  std::int64_t mtimeNs = 0;
  bool operator==(const FileStamp&) const = default;
};

std::optional<FileStamp> StampOf(const std::filesystem::path& file) {
  struct stat st {};
  if (::lstat(file.c_str(), &st) != 0) return std::nullopt;
  return FileStamp{
      st.st_dev, st.st_ino, st.st_size,
      static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

// Moves the content of `fresh` into `node` while keeping the node objects of keys that
// still exist, so open handles see the new values; keys gone from `fresh` are marked
// deleted, as if another program had deleted them.
void Graft(RegNode& node, RegNode& fresh) {
  node.name = fresh.name;
  node.values = std::move(fresh.values);
  std::map<std::string, std::shared_ptr<RegNode>> merged;
  for (auto& [folded, child] : fresh.subkeys) {
    const auto old = node.subkeys.find(folded);
    if (old != node.subkeys.end()) {
      Graft(*old->second, *child);
      merged.emplace(folded, old->second);
      node.subkeys.erase(old);
    } else {
      merged.emplace(folded, std::move(child));
    }
  }
  for (auto& [folded, gone] : node.subkeys) MarkDeleted(*gone);
  node.subkeys = std::move(merged);
}

}  // namespace

// Other processes (an installer calling corvane-machine) change the hive files while this
// registry is open. Every operation first rereads a hive whose file changed; every change
// is made under an exclusive lock on registry/.lock, on the hive as it is on disk, so two
// writers never lose each other's changes.
struct EmulatedRegistry::Store {
  struct Hive {
    std::filesystem::path file;
    std::shared_ptr<RegNode> root;
    std::string error;  // set when the file could not be read; the hive is then unusable
    std::optional<FileStamp> stamp;  // of the file `root` was read from or saved to
  };

  std::mutex mutex;
  std::array<Hive, 3> hives;
  std::string setupError;
  std::filesystem::path lockFile;

  // Reads the hive's file into `hive`, replacing root or setting error.
  static void Load(Hive& hive, const std::string& rootName) {
    hive.stamp = StampOf(hive.file);
    std::string text;
    const MachineFileStatus read = ReadMachineFile(hive.file.parent_path().parent_path(),
                                                   InMachine(hive.file), text, kMaxMachineText);
    if (read == MachineFileStatus::kLink) {
      // Never read through a link: it could show any file of the host as a hive.
      hive.error = hive.file.string() + ": is a symbolic link, which is not followed";
      Drop(hive);
      return;
    }
    if (read != MachineFileStatus::kOk) {
      hive.error = hive.file.string() + ": cannot be read";
      Drop(hive);
      return;
    }
    RegParseResult parsed = ParseRegFile(text, rootName);
    if (!parsed.ok()) {
      hive.error =
          hive.file.string() + ":" + std::to_string(parsed.errorLine) + ": " + parsed.error;
      Drop(hive);
      return;
    }
    hive.error.clear();
    if (hive.root) {
      Graft(*hive.root, *parsed.root);
    } else {
      hive.root = std::move(parsed.root);
    }
  }

  static void Drop(Hive& hive) {
    if (hive.root) MarkDeleted(*hive.root);
    hive.root.reset();
  }

  // Rereads hive `index` when its file is not the one last read or written. A file that
  // vanished keeps the hive as it is; the next change writes it again.
  void Refresh(std::size_t index) {
    Hive& hive = hives[index];
    const std::optional<FileStamp> now = StampOf(hive.file);
    if (!now || now == hive.stamp) return;
    Load(hive, std::string(RegistryRootName(kRoots[index])));
  }

  bool Save(std::size_t index) {
    Hive& hive = hives[index];
    if (!ReplaceFileAtomically(hive.file, WriteRegFile(*hive.root, kHiveComment))) return false;
    hive.stamp = StampOf(hive.file);
    return true;
  }
};

namespace {

// Holds registry/.lock exclusively while one change is read, made and saved. Without the
// lock file (a read-only folder) the change still goes ahead, unguarded.
class WriteLock {
 public:
  explicit WriteLock(const std::filesystem::path& file)
      : fd_(OpenMachineFile(file.parent_path().parent_path(), InMachine(file), O_RDWR | O_CREAT,
                            0644)) {
    if (fd_.get() >= 0) {
      while (::flock(fd_.get(), LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }

 private:
  UniqueFd fd_;  // closing it releases the lock
};

using Store = EmulatedRegistry::Store;

class EmulatedKeyHandle final : public RegistryKeyHandle {
 public:
  EmulatedKeyHandle(std::shared_ptr<Store> store, std::size_t hive, std::shared_ptr<RegNode> node,
                    std::uint32_t access)
      : store_(std::move(store)), hive_(hive), node_(std::move(node)), access_(access) {}

  std::uint32_t QueryValue(std::string_view name, std::uint8_t* data, std::uint32_t capacity,
                           RegistryValueInfo& info) override {
    const std::scoped_lock lock(store_->mutex);
    store_->Refresh(hive_);
    if (const std::uint32_t error = Check(win::kKeyQueryValue)) return error;
    const auto clean = CleanName(name);
    const RegValue* value = clean ? node_->FindValue(*clean) : nullptr;
    if (value == nullptr) return win::kErrorFileNotFound;
    info.type = value->type;
    info.size = static_cast<std::uint32_t>(value->data.size());
    if (data == nullptr) return win::kErrorSuccess;
    if (value->data.size() > capacity) return win::kErrorMoreData;
    std::copy(value->data.begin(), value->data.end(), data);
    return win::kErrorSuccess;
  }

  std::uint32_t SetValue(std::string_view name, std::uint32_t type,
                         std::span<const std::uint8_t> data) override {
    const WriteLock writing(store_->lockFile);
    const std::scoped_lock lock(store_->mutex);
    store_->Refresh(hive_);
    if (const std::uint32_t error = Check(win::kKeySetValue)) return error;
    const auto clean = CleanName(name);
    if (!clean) return win::kErrorInvalidParameter;
    std::vector<std::uint8_t> bytes(data.begin(), data.end());
    if (RegValue* existing = node_->FindValue(*clean)) {
      RegValue previous = *existing;
      existing->type = type;
      existing->data = std::move(bytes);
      if (store_->Save(hive_)) return win::kErrorSuccess;
      *existing = std::move(previous);
      return win::kErrorRegistryIoFailed;
    }
    node_->values.push_back(RegValue{*clean, type, std::move(bytes)});
    if (store_->Save(hive_)) return win::kErrorSuccess;
    node_->values.pop_back();
    return win::kErrorRegistryIoFailed;
  }

  std::uint32_t DeleteValue(std::string_view name) override {
    const WriteLock writing(store_->lockFile);
    const std::scoped_lock lock(store_->mutex);
    store_->Refresh(hive_);
    if (const std::uint32_t error = Check(win::kKeySetValue)) return error;
    const auto clean = CleanName(name);
    RegValue* value = clean ? node_->FindValue(*clean) : nullptr;
    if (value == nullptr) return win::kErrorFileNotFound;
    const auto position = node_->values.begin() + (value - node_->values.data());
    RegValue removed = std::move(*value);
    const auto index = position - node_->values.begin();
    node_->values.erase(position);
    if (store_->Save(hive_)) return win::kErrorSuccess;
    node_->values.insert(node_->values.begin() + index, std::move(removed));
    return win::kErrorRegistryIoFailed;
  }

  std::uint32_t SubKeyNames(std::vector<std::string>& names) override {
    const std::scoped_lock lock(store_->mutex);
    store_->Refresh(hive_);
    if (const std::uint32_t error = Check(win::kKeyEnumerateSubKeys)) return error;
    names.clear();
    for (const auto& [folded, child] : node_->subkeys) names.push_back(child->name);
    return win::kErrorSuccess;
  }

  std::uint32_t ValueNames(std::vector<std::string>& names) override {
    const std::scoped_lock lock(store_->mutex);
    store_->Refresh(hive_);
    if (const std::uint32_t error = Check(win::kKeyQueryValue)) return error;
    names.clear();
    for (const RegValue& value : node_->values) names.push_back(value.name);
    return win::kErrorSuccess;
  }

 private:
  [[nodiscard]] std::uint32_t Check(std::uint32_t right) const {
    if (!store_->hives[hive_].root) return win::kErrorRegistryCorrupt;
    if (node_->deleted) return win::kErrorKeyDeleted;
    if ((access_ & right) != right) return win::kErrorAccessDenied;
    return win::kErrorSuccess;
  }

  std::shared_ptr<Store> store_;
  std::size_t hive_;
  std::shared_ptr<RegNode> node_;
  std::uint32_t access_;
};

// The parts of a sub key path, or an error for a path Windows refuses.
std::uint32_t SplitPath(std::string_view subKey, std::vector<std::string>& parts) {
  parts.clear();
  if (subKey.ends_with('\\')) subKey.remove_suffix(1);  // Windows accepts one trailing '\'
  if (subKey.empty()) return win::kErrorSuccess;
  for (std::size_t start = 0;;) {
    const std::size_t slash = subKey.find('\\', start);
    const std::string_view part = subKey.substr(
        start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
    if (part.empty()) return win::kErrorBadPathname;
    auto clean = CleanName(part);
    if (!clean) return win::kErrorInvalidParameter;
    parts.push_back(std::move(*clean));
    if (slash == std::string_view::npos) return win::kErrorSuccess;
    start = slash + 1;
  }
}

std::shared_ptr<RegNode> Find(const std::shared_ptr<RegNode>& root,
                              const std::vector<std::string>& parts) {
  std::shared_ptr<RegNode> node = root;
  for (const std::string& part : parts) {
    const auto it = node->subkeys.find(FoldRegName(part));
    if (it == node->subkeys.end()) return nullptr;
    node = it->second;
  }
  return node;
}

}  // namespace

EmulatedRegistry::EmulatedRegistry(const MachineFolder& machine, RegistryView view)
    : store_(std::make_shared<Store>()), view_(view) {
  (void)MakeMachineFolders(machine.root(), machine.registryDir().filename());
  store_->lockFile = machine.registryDir() / ".lock";
  const WriteLock writing(store_->lockFile);
  for (const RegistryRoot root : kRoots) {
    Store::Hive& hive = store_->hives[HiveIndex(root)];
    hive.file = machine.registryDir() / HiveFileName(root);
    const std::string rootName(RegistryRootName(root));
    if (StatMachineFile(machine.root(), InMachine(hive.file)) == MachineFileStatus::kMissing) {
      // A new machine: start from the template and keep it on disk.
      RegParseResult parsed = ParseRegFile(RegistryTemplate(root, view_), rootName);
      hive.root = std::move(parsed.root);
      if (!store_->Save(HiveIndex(root))) {
        store_->setupError += "cannot create " + hive.file.string() + "\n";
      }
      continue;
    }
    store_->Load(hive, rootName);
  }
}

EmulatedRegistry::~EmulatedRegistry() = default;

std::string EmulatedRegistry::loadError() const {
  const std::scoped_lock lock(store_->mutex);
  std::string all = store_->setupError;
  for (const Store::Hive& hive : store_->hives) {
    if (!hive.error.empty()) all += hive.error + "\n";
  }
  if (!all.empty()) all.pop_back();
  return all;
}

std::uint32_t EmulatedRegistry::OpenKey(RegistryRoot root, std::string_view subKey,
                                        std::uint32_t access, RegistryKey& key) {
  key.Close();
  std::vector<std::string> parts;
  if (const std::uint32_t error = SplitPath(subKey, parts)) return error;
  if (view_ == RegistryView::kWow64 && (access & win::kKeyWow64View64) == 0) {
    RedirectToWow64(root, parts);
  }
  const std::scoped_lock lock(store_->mutex);
  store_->Refresh(HiveIndex(root));
  const Store::Hive& hive = store_->hives[HiveIndex(root)];
  if (!hive.root) return win::kErrorRegistryCorrupt;
  std::shared_ptr<RegNode> node = Find(hive.root, parts);
  if (!node) return win::kErrorFileNotFound;
  key = RegistryKey(
      std::make_unique<EmulatedKeyHandle>(store_, HiveIndex(root), std::move(node), access));
  return win::kErrorSuccess;
}

std::uint32_t EmulatedRegistry::CreateKey(RegistryRoot root, std::string_view subKey,
                                          std::uint32_t access, RegistryKey& key, bool* created) {
  key.Close();
  std::vector<std::string> parts;
  if (const std::uint32_t error = SplitPath(subKey, parts)) return error;
  if (view_ == RegistryView::kWow64 && (access & win::kKeyWow64View64) == 0) {
    RedirectToWow64(root, parts);
  }
  const WriteLock writing(store_->lockFile);
  const std::scoped_lock lock(store_->mutex);
  const std::size_t index = HiveIndex(root);
  store_->Refresh(index);
  const Store::Hive& hive = store_->hives[index];
  if (!hive.root) return win::kErrorRegistryCorrupt;

  std::shared_ptr<RegNode> node = hive.root;
  RegNode* firstNewParent = nullptr;  // where the new branch hangs, to undo it
  std::string firstNewName;
  for (const std::string& part : parts) {
    auto& slot = node->subkeys[FoldRegName(part)];
    if (!slot) {
      if (firstNewParent == nullptr) {
        firstNewParent = node.get();
        firstNewName = FoldRegName(part);
      }
      slot = std::make_shared<RegNode>();
      slot->name = part;
    }
    node = slot;
  }
  if (firstNewParent != nullptr && !store_->Save(index)) {
    firstNewParent->subkeys.erase(firstNewName);
    return win::kErrorRegistryIoFailed;
  }
  if (created != nullptr) *created = firstNewParent != nullptr;
  key = RegistryKey(std::make_unique<EmulatedKeyHandle>(store_, index, std::move(node), access));
  return win::kErrorSuccess;
}

std::uint32_t EmulatedRegistry::DeleteKey(RegistryRoot root, std::string_view subKey,
                                          std::uint32_t access) {
  std::vector<std::string> parts;
  if (const std::uint32_t error = SplitPath(subKey, parts)) return error;
  if (view_ == RegistryView::kWow64 && (access & win::kKeyWow64View64) == 0) {
    RedirectToWow64(root, parts);
  }
  if (parts.empty()) return win::kErrorAccessDenied;  // a root key cannot be deleted
  const WriteLock writing(store_->lockFile);
  const std::scoped_lock lock(store_->mutex);
  const std::size_t index = HiveIndex(root);
  store_->Refresh(index);
  const Store::Hive& hive = store_->hives[index];
  if (!hive.root) return win::kErrorRegistryCorrupt;
  const std::string leaf = parts.back();
  parts.pop_back();
  const std::shared_ptr<RegNode> parent = Find(hive.root, parts);
  if (!parent) return win::kErrorFileNotFound;
  const auto it = parent->subkeys.find(FoldRegName(leaf));
  if (it == parent->subkeys.end()) return win::kErrorFileNotFound;
  if (!it->second->subkeys.empty()) return win::kErrorAccessDenied;
  std::shared_ptr<RegNode> removed = it->second;
  parent->subkeys.erase(it);
  if (!store_->Save(index)) {
    parent->subkeys.emplace(FoldRegName(leaf), std::move(removed));
    return win::kErrorRegistryIoFailed;
  }
  removed->deleted = true;
  return win::kErrorSuccess;
}

namespace {

std::shared_ptr<RegNode> CopyTree(const RegNode& node) {
  auto copy = std::make_shared<RegNode>();
  copy->name = node.name;
  copy->values = node.values;
  for (const auto& [folded, child] : node.subkeys) copy->subkeys.emplace(folded, CopyTree(*child));
  return copy;
}

}  // namespace

std::uint32_t EmulatedRegistry::EditHives(const HiveEdit& change) {
  const WriteLock writing(store_->lockFile);
  const std::scoped_lock lock(store_->mutex);
  std::array<std::shared_ptr<RegNode>, 3> copies;
  for (std::size_t i = 0; i < copies.size(); ++i) {
    store_->Refresh(i);
    if (!store_->hives[i].root) return win::kErrorRegistryCorrupt;
    copies[i] = CopyTree(*store_->hives[i].root);
  }
  if (!change(copies)) return win::kErrorSuccess;
  std::uint32_t result = win::kErrorSuccess;
  for (std::size_t i = 0; i < copies.size(); ++i) {
    Store::Hive& hive = store_->hives[i];
    if (SameRegTree(*hive.root, *copies[i])) continue;
    Graft(*hive.root, *copies[i]);
    if (!store_->Save(i)) result = win::kErrorRegistryIoFailed;
  }
  return result;
}

}  // namespace corvane::emulated
