#include "snapshot/machine_snapshot.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <span>
#include <system_error>

#include "checks/registry_path.h"
#include "checks/root_certificates.h"
#include "config/parse_check_config.h"
#include "platform/certificate_stores.h"
#include "platform/emulated/machine_profile.h"
#include "platform/emulated/reg_file.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/network.h"
#include "platform/resources.h"
#include "platform/system_info.h"
#include "platform/usb_devices.h"
#include "platform/win_errors.h"
#include "support/md5.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using emulated::RegNode;
using emulated::RegValue;

// Keys the program reads whatever its configuration says. Each names where it is read.
constexpr std::string_view kInternetSettings =
    R"(Software\Microsoft\Windows\CurrentVersion\Internet Settings)";
std::vector<SnapshotKey> FixedKeys() {
  return {
      // The browser's version (system_description.cpp: HKCU first, then HKLM).
      {RegistryRoot::kLocalMachine, R"(SOFTWARE\Microsoft\Internet Explorer)", false},
      {RegistryRoot::kCurrentUser, R"(SOFTWARE\Microsoft\Internet Explorer)", false},
      // The compatibility-view list (compatibility_list.cpp).
      {RegistryRoot::kCurrentUser,
       R"(Software\Microsoft\Internet Explorer\BrowserEmulation\ClearableListData)", true},
      // "Disableregistrytools" (registry_settings.cpp).
      {RegistryRoot::kCurrentUser, R"(SOFTWARE\Microsoft\Windows\CurrentVersion\Policies\System)",
       false},
      // The home-page policy (browser_settings.cpp).
      {RegistryRoot::kCurrentUser, R"(SOFTWARE\Policies\Microsoft\Internet Explorer\Control Panel)",
       false},
  };
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

void AddKey(SnapshotPlan& plan, SnapshotKey key) {
  const auto same = [&](const SnapshotKey& k) {
    return k.root == key.root && Upper(k.path) == Upper(key.path);
  };
  const auto found = std::find_if(plan.keys.begin(), plan.keys.end(), same);
  if (found == plan.keys.end()) {
    plan.keys.push_back(std::move(key));
  } else {
    found->tree = found->tree || key.tree;
  }
}

// The key and, where a 64-bit Windows keeps a 32-bit program's copy apart, that copy.
void AddKeyWithTwin(SnapshotPlan& plan, const SnapshotKey& key) {
  AddKey(plan, key);
  const std::string upper = Upper(key.path);
  if (key.root == RegistryRoot::kLocalMachine && upper.starts_with("SOFTWARE\\") &&
      !upper.starts_with("SOFTWARE\\WOW6432NODE")) {
    AddKey(plan, {key.root, "SOFTWARE\\Wow6432Node\\" + key.path.substr(9), key.tree});
  } else if (key.root == RegistryRoot::kClassesRoot && !upper.starts_with("WOW6432NODE")) {
    AddKey(plan, {key.root, "Wow6432Node\\" + key.path, key.tree});
  }
}

void AddFile(SnapshotPlan& plan, const std::string& path) {
  if (path.empty()) return;
  if (std::find(plan.files.begin(), plan.files.end(), path) == plan.files.end()) {
    plan.files.push_back(path);
  }
}

void AddConfigItems(SnapshotPlan& plan, const std::vector<CheckItem>& items) {
  for (const CheckItem& item : items) {
    for (const DetectRule& rule : item.detects) {
      if (rule.type == "reg") {
        if (const auto path = ParseCommaRegistryPath(rule.text)) {
          AddKeyWithTwin(plan, {path->root, path->subKey, false});
        }
      } else if (rule.type == "clsid") {
        AddKeyWithTwin(plan, {RegistryRoot::kClassesRoot, "CLSID\\" + rule.text, true});
        // The add-on's disabled flag (component_report.cpp).
        AddKey(plan,
               {RegistryRoot::kCurrentUser,
                R"(Software\Microsoft\Windows\CurrentVersion\Ext\Settings\)" + rule.text, true});
      } else if (rule.type == "file") {
        AddFile(plan, rule.text);
      }
    }
    for (const FileSpec& file : item.files) AddFile(plan, file.localPath);
  }
}

std::vector<std::string> SplitPath(std::string_view path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t slash = std::min(path.find('\\', start), path.size());
    if (slash > start) parts.emplace_back(path.substr(start, slash - start));
    start = slash + 1;
  }
  return parts;
}

RegNode& NodeAt(RegNode& root, const std::vector<std::string>& parts) {
  RegNode* node = &root;
  for (const std::string& part : parts) {
    std::shared_ptr<RegNode>& child = node->subkeys[emulated::FoldRegName(part)];
    if (!child) {
      child = std::make_shared<RegNode>();
      child->name = part;
    }
    node = child.get();
  }
  return *node;
}

std::size_t RootIndex(RegistryRoot root) { return static_cast<std::size_t>(root); }

class Snapshotter {
 public:
  Snapshotter(Platform& platform, fs::path dir) : platform_(platform), dir_(std::move(dir)) {
    const std::uint16_t arch = platform_.systemInfo().NativeProcessorArchitecture();
    native64_ = arch == win::kProcessorArchitectureAmd64 || arch == win::kProcessorArchitectureIa64;
    for (const RegistryRoot root :
         {RegistryRoot::kLocalMachine, RegistryRoot::kCurrentUser, RegistryRoot::kClassesRoot}) {
      hives_[RootIndex(root)].name = std::string(RegistryRootName(root));
    }
  }

  SnapshotResult Take(const SnapshotPlan& plan) {
    as32Bit_ = native64_ && plan.readAs32BitProgram;
    std::error_code error;
    if (fs::exists(dir_, error) && !fs::is_empty(dir_, error)) {
      result_.error = "not an empty folder: " + dir_.string();
      return std::move(result_);
    }
    fs::create_directories(dir_, error);
    if (error) {
      result_.error = "cannot create " + dir_.string() + ": " + error.message();
      return std::move(result_);
    }
    WriteProfile();
    for (const SnapshotKey& key : plan.keys) CopyKey(key);
    for (const SnapshotKey& key : plan.keys) CopyClassServer(key);
    WriteHives();
    for (const std::string& file : plan.files) CopyFile(file);
    CopyCertificates();
    WriteUsbDevices();
    return std::move(result_);
  }

 private:
  void Note(std::string line) { result_.notes.push_back(std::move(line)); }

  void Write(const fs::path& relative, std::string_view bytes) {
    if (!result_.ok()) return;
    const fs::path path = dir_ / relative;
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (error || !out) result_.error = "cannot write " + path.string();
  }

  void WriteProfile() {
    emulated::MachineProfile profile;
    SystemInfo& info = platform_.systemInfo();
    if (const auto version = info.VersionEx()) {
      profile.version = *version;
    } else {
      Note("the Windows version could not be read; machine.ini has the default");
    }
    profile.architecture = info.NativeProcessorArchitecture();
    profile.productInfo =
        info.ProductInfo(profile.version.majorVersion, profile.version.minorVersion,
                         profile.version.servicePackMajor, profile.version.servicePackMinor);
    profile.serverR2 = info.ServerR2();
    const Environment& environment = platform_.environment();
    if (auto user = environment.variable("USERNAME")) profile.userName = *user;
    if (auto computer = environment.variable("COMPUTERNAME")) profile.computerName = *computer;
    profile.online = platform_.network().ConnectedState(nullptr);
    Write("machine.ini", emulated::WriteMachineProfile(profile));
  }

  // Keys are named as stored: on a 64-bit Windows the 64-bit view is the stored one.
  [[nodiscard]] std::uint32_t ReadAccess() const {
    return win::kKeyRead | (native64_ ? win::kKeyWow64View64 : 0U);
  }

  void CopyKey(const SnapshotKey& key) {
    // Names keep the case they have on the PC, whatever case the program asks with.
    std::string path;
    for (const std::string& part : SplitPath(key.path)) {
      RegistryKey parent;
      std::vector<std::string> names;
      if (platform_.registry().OpenKey(key.root, path, ReadAccess(), parent) !=
              win::kErrorSuccess ||
          parent.SubKeyNames(names) != win::kErrorSuccess) {
        return;
      }
      const std::string folded = emulated::FoldRegName(part);
      const auto found = std::find_if(names.begin(), names.end(), [&](const std::string& name) {
        return emulated::FoldRegName(name) == folded;
      });
      if (found == names.end()) return;  // absent keys stay absent, as the program sees them
      path += (path.empty() ? "" : "\\") + *found;
    }
    RegistryKey handle;
    if (platform_.registry().OpenKey(key.root, path, ReadAccess(), handle) != win::kErrorSuccess) {
      return;
    }
    CopyOpenKey(handle, key.root, path, key.tree, 0);
  }

  void CopyOpenKey(RegistryKey& handle, RegistryRoot root, const std::string& path, bool tree,
                   int depth) {
    RegNode& node = NodeAt(hives_[RootIndex(root)], SplitPath(path));
    std::vector<std::string> names;
    if (handle.ValueNames(names) == win::kErrorSuccess) {
      for (const std::string& name : names) {
        RegValue value;
        value.name = name;
        if (handle.ReadValue(name, value.type, value.data) != win::kErrorSuccess) continue;
        if (RegValue* existing = node.FindValue(name)) {
          *existing = std::move(value);
        } else {
          node.values.push_back(std::move(value));
        }
      }
    }
    // Registry depth is bounded by Windows (512 levels); stop well before a runaway.
    if (!tree || depth > 64) return;
    std::vector<std::string> subKeys;
    if (handle.SubKeyNames(subKeys) != win::kErrorSuccess) return;
    for (const std::string& name : subKeys) {
      std::string childPath = path;
      childPath.append("\\").append(name);
      RegistryKey child;
      if (platform_.registry().OpenKey(root, childPath, ReadAccess(), child) ==
          win::kErrorSuccess) {
        CopyOpenKey(child, root, childPath, true, depth + 1);
      }
    }
  }

  // The file a class's InprocServer32 names, as the program reads it: the component check
  // counts a class as registered only when that file exists.
  void CopyClassServer(const SnapshotKey& key) {
    if (key.root != RegistryRoot::kClassesRoot || !Upper(key.path).starts_with("CLSID\\")) return;
    RegistryKey handle;
    if (platform_.registry().OpenKey(key.root, key.path + "\\InprocServer32", win::kKeyRead,
                                     handle) != win::kErrorSuccess) {
      return;
    }
    std::string server;
    if (handle.ReadString("", server) == win::kErrorSuccess) classServers_.push_back(server);
  }

  void WriteHives() {
    for (const RegistryRoot root :
         {RegistryRoot::kLocalMachine, RegistryRoot::kCurrentUser, RegistryRoot::kClassesRoot}) {
      const std::string_view file = root == RegistryRoot::kLocalMachine  ? "HKLM.reg"
                                    : root == RegistryRoot::kCurrentUser ? "HKCU.reg"
                                                                         : "HKCR.reg";
      Write(fs::path("registry") / file,
            emulated::WriteRegFile(hives_[RootIndex(root)],
                                   "Snapshot of a PC: only the keys Corvane reads."));
    }
    for (const std::string& server : classServers_) CopyFile(server);
  }

  // The program's spelling of a path and where a 64-bit process finds that file.
  [[nodiscard]] std::pair<std::string, std::string> ProgramPath(
      const std::string& windowsPath) const {
    const Environment& environment = platform_.environment();
    if (!as32Bit_) {
      std::string path = environment.expand(windowsPath);
      return {path, path};
    }
    std::string text = windowsPath;
    for (const auto& [from, to] :
         {std::pair<std::string_view, std::string_view>{"%PROGRAMFILES%", "%ProgramFiles(x86)%"},
          {"%COMMONPROGRAMFILES%", "%CommonProgramFiles(x86)%"}}) {
      const std::size_t at = Upper(text).find(from);
      if (at != std::string::npos) text.replace(at, from.size(), to);
    }
    const std::string path = environment.expand(text);
    std::string read = path;
    // WOW64 sends the 32-bit program's System32 to SysWOW64, except drivers\etc (the hosts
    // file) and a few other folders.
    const std::string system32 = Upper(environment.expand("%SystemRoot%")) + "\\SYSTEM32\\";
    const std::string upper = Upper(path);
    if (upper.starts_with(system32) && !upper.starts_with(system32 + "DRIVERS\\ETC\\")) {
      read = path.substr(0, system32.size() - 9) + "SysWOW64" + path.substr(system32.size() - 1);
    }
    return {path, read};
  }

  void CopyFile(const std::string& windowsPath) {
    const auto [path, readPath] = ProgramPath(windowsPath);
    if (std::find(copied_.begin(), copied_.end(), Upper(path)) != copied_.end()) return;
    copied_.push_back(Upper(path));
    if (path.size() < 4 || Upper(path.substr(0, 3)) != "C:\\") {
      Note("not on drive C:, left out: " + path);
      return;
    }
    FileSystem& files = platform_.files();
    std::unique_ptr<File> file;
    if (files.open(readPath, FileAccess::kRead, FileCreation::kOpenExisting, 0, file) !=
        win::kErrorSuccess) {
      Note("missing: " + readPath);
      return;
    }
    std::string bytes;
    std::array<std::byte, 65536> block{};
    for (;;) {
      std::size_t read = 0;
      if (file->read(block, read) != win::kErrorSuccess) {
        Note("cannot be read, left out: " + path);
        return;
      }
      if (read == 0) break;
      bytes.append(reinterpret_cast<const char*>(block.data()), read);
    }
    fs::path relative = "drive_c";
    for (const std::string& part : SplitPath(path.substr(3))) relative /= HostPathFromUtf8(part);
    Write(relative, bytes);
  }

  void CopyCertificates() {
    for (const CertificateSearch& search : RootCertificateSearches()) {
      const std::unique_ptr<CertificateStore> store =
          platform_.certificateStores().OpenSystemStore(search.store);
      const std::vector<std::vector<std::uint8_t>> found =
          store ? store->EncodedWithSubject(search.subject)
                : std::vector<std::vector<std::uint8_t>>();
      if (found.empty()) {
        Note("no certificate \"" + std::string(search.subject) + "\" in " +
             std::string(search.store));
      }
      // Every match, not the first: a search for "CFCA Operation CA" also finds "...CA1".
      for (const std::vector<std::uint8_t>& der : found) {
        Md5Context md5;
        md5.Update(der.data(), der.size());
        md5.Final();
        Write(
            fs::path("certs") / "user" / std::string(search.store) / (Md5Hex(md5.digest) + ".cer"),
            std::string_view(reinterpret_cast<const char*>(der.data()), der.size()));
      }
    }
  }

  void WriteUsbDevices() {
    std::string text = "; USB devices attached when the snapshot was taken (vendor:product)\n";
    for (const std::uint32_t id : platform_.usbDevices().connectedIds()) {
      std::array<char, 16> line{};
      (void)std::snprintf(line.data(), line.size(), "%04x:%04x\n", id >> 16U, id & 0xFFFFU);
      text += line.data();
    }
    Write("usb.ini", text);
  }

  Platform& platform_;
  fs::path dir_;
  bool native64_ = false;
  bool as32Bit_ = false;
  std::array<RegNode, 3> hives_;
  std::vector<std::string> classServers_;
  std::vector<std::string> copied_;
  SnapshotResult result_;
};

}  // namespace

SnapshotPlan BuildSnapshotPlan(const CheckConfig& config) {
  SnapshotPlan plan;
  for (const SnapshotKey& key : FixedKeys()) AddKeyWithTwin(plan, key);
  // Zones, template policies, the zone map and "SecureProtocols" (emulated_url_zones.cpp and
  // the downloads), both roots, as urlmon and WinINet read them.
  for (const RegistryRoot root : {RegistryRoot::kCurrentUser, RegistryRoot::kLocalMachine}) {
    const std::string base(kInternetSettings);
    AddKeyWithTwin(plan, {root, base, false});
    for (const char* below : {"Zones", "ZoneMap", "TemplatePolicies"}) {
      AddKeyWithTwin(plan, {root, base + "\\" + below, true});
    }
  }
  if (const auto* section = [&]() -> const ConfigSection* {
        for (const ConfigSection& s : config.sections) {
          if (s.type == "registry") return &s;
        }
        return nullptr;
      }()) {
    for (const ConfigEntry& entry : section->entries) {
      if (const auto path = ParseBackslashRegistryPath(entry.text)) {
        AddKeyWithTwin(plan, {path->root, path->subKey, false});
      }
    }
  }
  AddConfigItems(plan, config.items);
  AddConfigItems(plan, config.components);
  AddFile(plan, R"(%windir%\system32\drivers\etc\hosts)");
  return plan;
}

SnapshotResult TakeMachineSnapshot(Platform& platform, const SnapshotPlan& plan,
                                   const std::filesystem::path& dir) {
  return Snapshotter(platform, dir).Take(plan);
}

int RunSnapshotCommand(Platform& platform, const std::vector<std::string>& args,
                       bool readAs32BitProgram) {
  std::string dir;
  std::string configFile;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--config" && i + 1 < args.size()) {
      configFile = args[++i];
    } else if (dir.empty() && !args[i].starts_with("--")) {
      dir = args[i];
    } else {
      dir.clear();
      break;
    }
  }
  if (dir.empty()) {
    (void)std::fputs("usage: corvane-machine snapshot DIR [--config ITEM.XML]\n", stderr);
    return 2;
  }
  std::string text;
  if (configFile.empty()) {
    const std::vector<std::uint8_t> bytes =
        platform.resources().Load(ResourceId("ITEM.XML"), ResourceId(win::kRtHtml));
    text.assign(bytes.begin(), bytes.end());
  } else {
    std::ifstream in(HostPathFromUtf8(configFile), std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in.is_open() || in.bad()) {
      (void)std::fprintf(stderr, "corvane-machine: cannot read %s\n", configFile.c_str());
      return 2;
    }
  }
  CheckConfig config;
  if (text.empty() || !ParseCheckConfig(config, text) || !config.configLoaded) {
    (void)std::fprintf(stderr, "corvane-machine: the configuration %s does not parse\n",
                       configFile.empty() ? "built in" : configFile.c_str());
    return 2;
  }
  SnapshotPlan plan = BuildSnapshotPlan(config);
  plan.readAs32BitProgram = readAs32BitProgram;
  const SnapshotResult result = TakeMachineSnapshot(platform, plan, HostPathFromUtf8(dir));
  for (const std::string& note : result.notes) std::printf("left out: %s\n", note.c_str());
  if (!result.ok()) {
    (void)std::fprintf(stderr, "corvane-machine: %s\n", result.error.c_str());
    return 1;
  }
  std::printf("snapshot written to %s\n", dir.c_str());
  return 0;
}

std::filesystem::path HostPathFromUtf8(std::string_view text) {
  return {std::u8string(text.begin(), text.end())};
}

}  // namespace corvane
