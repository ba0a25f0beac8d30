// corvane-machine: creates, shows and reboots an emulated Windows PC (a machine folder), so
// that a person can set one up, look at it and then edit its files by hand; and changes it
// the way an installer changes a Windows PC (registry values, files in C:, COM classes), so
// that an installer script run on the emulated PC can install its component.
#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/emulated/emulated_platform.h"
#include "platform/emulated/machine_presets.h"
#include "platform/emulated/program_image.h"
#include "platform/emulated/program_output_log.h"
#include "platform/emulated/tool/machine_registry_commands.h"
#include "platform/file_system.h"
#include "platform/registry.h"
#include "platform/win_errors.h"
#include "snapshot/machine_snapshot.h"

namespace {

using corvane::emulated::EmulatedPlatform;
using corvane::emulated::MachineFolder;

int Usage() {
  std::fputs(
      "usage: corvane-machine [--machine DIR] show|reboot\n"
      "       corvane-machine [--machine DIR] create [--preset NAME]\n"
      "       corvane-machine [--machine DIR] reg-set KEY NAME sz|expand_sz|dword VALUE\n"
      "       corvane-machine [--machine DIR] reg-get KEY NAME\n"
      "       corvane-machine [--machine DIR] reg-delete KEY [NAME]\n"
      "       corvane-machine [--machine DIR] put-file HOSTFILE C:\\PATH\n"
      "       corvane-machine [--machine DIR] register-class {CLSID} C:\\PATH\n"
      "       corvane-machine [--machine DIR] import-reg FILE...\n"
      "       corvane-machine [--machine DIR] reg-list KEY\n"
      "       corvane-machine [--machine DIR] snapshot TARGET [--config ITEM.XML]\n"
      "       corvane-machine [--machine DIR] program-log\n"
      "       corvane-machine program-image a.b.c.d FILE\n"
      "  show    create the machine if it does not exist and describe it\n"
      "  reboot  carry out the moves and deletions registered for the next restart\n"
      "  create  make a new machine (DIR missing or empty) of a Windows: winxp-sp3-x86,\n"
      "          win2003-r2-x86, win2003-x64, vista-sp2-x86, win7-x86, win7-sp1-x64 (the\n"
      "          default), win8-x64\n"
      "  reg-set    create KEY (HKLM\\..., HKCU\\..., HKCR\\...) and set its value NAME (@ is\n"
      "          the default value); dword VALUE is decimal or 0x hexadecimal\n"
      "  reg-get    print a value (text, or a dword in decimal); exit status 1 if missing\n"
      "  reg-delete delete value NAME of KEY, or KEY itself (without sub keys)\n"
      "  put-file   copy a host file to a path on the machine's C: drive, creating folders\n"
      "  register-class  set HKCR\\CLSID\\{CLSID}\\InprocServer32 to C:\\PATH, a file that\n"
      "          must exist on the machine\n"
      "          (%NAME% in C:\\PATH is expanded as the program sees it: %ProgramFiles% is\n"
      "          C:\\Program Files (x86) on a 64-bit machine)\n"
      "  import-reg merge regedit exports (.reg files: UTF-16, UTF-8 or REGEDIT4) into the\n"
      "          hives, all files or none; a bad line is named as FILE:LINE, exit status 2\n"
      "  reg-list   print KEY and the keys below it as reg query KEY /s does\n"
      "  snapshot   write the machine's snapshot into TARGET (new or empty): what Corvane\n"
      "          reads of it, as the Windows build's snapshot of a real PC\n"
      "reg-set, reg-get, reg-delete and register-class see the registry as the program sees\n"
      "it (the 32-bit view on a 64-bit machine); import-reg and reg-list see the hives as\n"
      "stored, as regedit does.\n"
      "  program-log  print what the programs the machine ran (installers, scripts) wrote to\n"
      "          their output and error, oldest first: DIR/programs.log.1 and\n"
      "          DIR/programs.log, which together keep the latest 512 KiB\n"
      "  program-image  write a program file as the machine installs it, with that file\n"
      "          version, to FILE (a host path): a newer program for an update server\n"
      "DIR defaults to $CORVANE_MACHINE (set for programs run on the machine), else the\n"
      "per-user default machine. Exit status 2: bad arguments, or a\n"
      "machine folder that cannot be read whole (its errors on stderr, nothing done).\n",
      stderr);
  return 2;
}

std::string RegistryString(EmulatedPlatform& machine, std::string_view key, std::string_view name) {
  corvane::RegistryKey handle;
  if (machine.registry().OpenKey(corvane::RegistryRoot::kLocalMachine, key, corvane::win::kKeyRead,
                                 handle) != corvane::win::kErrorSuccess) {
    return "(missing)";
  }
  std::string text;
  return handle.ReadString(name, text) == corvane::win::kErrorSuccess ? text : "(missing)";
}

int Show(EmulatedPlatform& machine) {
  const auto& profile = machine.profile();
  const auto& v = profile.version;
  std::printf("machine folder: %s\n", machine.folder().root().string().c_str());
  std::printf("Windows %u.%u.%u %s, %s, user %s, computer %s, %s\n", v.majorVersion, v.minorVersion,
              v.buildNumber, v.servicePack.c_str(), profile.is64Bit() ? "64-bit" : "32-bit",
              profile.userName.c_str(), profile.computerName.c_str(),
              profile.online ? "online" : "offline");
  std::printf(
      "Internet Explorer %s\n",
      RegistryString(machine, R"(SOFTWARE\Microsoft\Internet Explorer)", "Version").c_str());
  std::printf("program path: %s\n", machine.environment().modulePath().c_str());
  const auto moves = machine.emulatedFiles().pendingMoves();
  std::printf("operations waiting for a restart: %zu\n", moves.size());
  return 0;
}

// "a.b.c.d", each at most 65535, as the two halves of a file version.
bool ParseVersion(std::string_view text, std::uint32_t& high, std::uint32_t& low) {
  std::uint32_t parts[4] = {};
  std::size_t index = 0;
  bool digit = false;
  for (const char c : text) {
    if (c == '.' && digit && index < 3) {
      ++index;
      digit = false;
    } else if (c >= '0' && c <= '9' && parts[index] <= 6553) {
      parts[index] = (parts[index] * 10) + static_cast<std::uint32_t>(c - '0');
      digit = true;
    } else {
      return false;
    }
  }
  if (index != 3 || !digit || parts[0] > 65535 || parts[1] > 65535 || parts[2] > 65535 ||
      parts[3] > 65535) {
    return false;
  }
  high = (parts[0] << 16U) | parts[1];
  low = (parts[2] << 16U) | parts[3];
  return true;
}

std::optional<corvane::RegistryRoot> SplitKey(std::string_view key, std::string_view& subKey) {
  const std::size_t slash = key.find('\\');
  const std::string_view root = key.substr(0, slash);
  subKey = slash == std::string_view::npos ? std::string_view() : key.substr(slash + 1);
  const auto is = [&](std::string_view a, std::string_view b) {
    if (root.size() != a.size() && root.size() != b.size()) return false;
    std::string upper(root);
    for (char& c : upper) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper == a || upper == b;
  };
  if (is("HKLM", "HKEY_LOCAL_MACHINE")) return corvane::RegistryRoot::kLocalMachine;
  if (is("HKCU", "HKEY_CURRENT_USER")) return corvane::RegistryRoot::kCurrentUser;
  if (is("HKCR", "HKEY_CLASSES_ROOT")) return corvane::RegistryRoot::kClassesRoot;
  return std::nullopt;
}

std::string ValueName(std::string_view name) {
  return name == "@" ? std::string() : std::string(name);
}

int Failed(const char* what, std::uint32_t error) {
  (void)std::fprintf(stderr, "corvane-machine: %s failed with Windows error %u\n", what, error);
  return 1;
}

bool ParseDword(std::string_view text, std::uint32_t& value) {
  int base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty() || text.size() > 10) return false;
  std::uint64_t total = 0;
  for (const char c : text) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return false;
    total = (total * static_cast<std::uint64_t>(base)) + static_cast<std::uint64_t>(digit);
    if (total > 0xFFFFFFFFULL) return false;
  }
  value = static_cast<std::uint32_t>(total);
  return true;
}

int RegSet(EmulatedPlatform& machine, const std::vector<std::string>& args) {
  if (args.size() != 4) return Usage();
  std::string_view subKey;
  const auto root = SplitKey(args[0], subKey);
  if (!root) return Usage();
  std::uint32_t dword = 0;
  const std::string& type = args[2];
  if (type != "sz" && type != "expand_sz" && !(type == "dword" && ParseDword(args[3], dword))) {
    return Usage();
  }
  corvane::RegistryKey key;
  if (const std::uint32_t error = machine.registry().CreateKey(
          *root, subKey, corvane::win::kKeyRead | corvane::win::kKeyWrite, key)) {
    return Failed("creating the key", error);
  }
  const std::string name = ValueName(args[1]);
  const std::uint32_t error =
      type == "dword"
          ? key.SetDword(name, dword)
          : key.SetString(name, args[3],
                          type == "sz" ? corvane::win::kRegSz : corvane::win::kRegExpandSz);
  return error == 0 ? 0 : Failed("setting the value", error);
}

int RegGet(EmulatedPlatform& machine, const std::vector<std::string>& args) {
  if (args.size() != 2) return Usage();
  std::string_view subKey;
  const auto root = SplitKey(args[0], subKey);
  if (!root) return Usage();
  corvane::RegistryKey key;
  if (machine.registry().OpenKey(*root, subKey, corvane::win::kKeyRead, key) != 0) return 1;
  const std::string name = ValueName(args[1]);
  std::string text;
  if (key.ReadString(name, text) == 0) {
    std::printf("%s\n", text.c_str());
    return 0;
  }
  std::uint32_t value = 0;
  if (key.ReadDword(name, value) == 0) {
    std::printf("%u\n", value);
    return 0;
  }
  return 1;
}

int RegDelete(EmulatedPlatform& machine, const std::vector<std::string>& args) {
  if (args.empty() || args.size() > 2) return Usage();
  std::string_view subKey;
  const auto root = SplitKey(args[0], subKey);
  if (!root) return Usage();
  if (args.size() == 1) {
    const std::uint32_t error = machine.registry().DeleteKey(*root, subKey);
    return error == 0 ? 0 : Failed("deleting the key", error);
  }
  corvane::RegistryKey key;
  if (const std::uint32_t error = machine.registry().OpenKey(
          *root, subKey, corvane::win::kKeyRead | corvane::win::kKeyWrite, key)) {
    return Failed("opening the key", error);
  }
  const std::uint32_t error = key.DeleteValue(ValueName(args[1]));
  return error == 0 ? 0 : Failed("deleting the value", error);
}

// Creates the folders above a C: path, as an installer does before it writes a file.
void CreateParents(corvane::FileSystem& files, std::string_view path) {
  for (std::size_t slash = path.find('\\', 3); slash != std::string_view::npos;
       slash = path.find('\\', slash + 1)) {
    (void)files.createDirectory(path.substr(0, slash));
  }
}

int PutFile(EmulatedPlatform& machine, const std::vector<std::string>& args) {
  if (args.size() != 2) return Usage();
  const std::string target = machine.environment().expand(args[1]);
  std::ifstream in(args[0], std::ios::binary);
  if (!in.is_open()) {
    (void)std::fprintf(stderr, "corvane-machine: cannot read %s\n", args[0].c_str());
    return 1;
  }
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    (void)std::fprintf(stderr, "corvane-machine: cannot read %s\n", args[0].c_str());
    return 1;
  }
  corvane::FileSystem& files = machine.files();
  CreateParents(files, target);
  std::unique_ptr<corvane::File> file;
  if (const std::uint32_t error = files.open(target, corvane::FileAccess::kWrite,
                                             corvane::FileCreation::kCreateAlways, 0, file)) {
    return Failed("creating the file", error);
  }
  const auto* data = reinterpret_cast<const std::byte*>(bytes.data());
  const std::uint32_t error = file->write(std::span<const std::byte>(data, bytes.size()));
  return error == 0 ? 0 : Failed("writing the file", error);
}

int RegisterClass(EmulatedPlatform& machine, const std::vector<std::string>& args) {
  if (args.size() != 2) return Usage();
  const std::string& clsid = args[0];
  if (clsid.size() < 3 || clsid.front() != '{' || clsid.back() != '}' ||
      clsid.find('\\') != std::string::npos) {
    return Usage();
  }
  // The class's file as the program will read it back: expanded, as installers write it.
  const std::string path = machine.environment().expand(args[1]);
  if (!machine.files().exists(path)) {
    (void)std::fprintf(stderr, "corvane-machine: %s is not on the machine\n", path.c_str());
    return 1;
  }
  corvane::RegistryKey key;
  if (const std::uint32_t error = machine.registry().CreateKey(
          corvane::RegistryRoot::kClassesRoot, "CLSID\\" + clsid + "\\InprocServer32",
          corvane::win::kKeyRead | corvane::win::kKeyWrite, key)) {
    return Failed("creating the class key", error);
  }
  const std::uint32_t error = key.SetString("", path);
  return error == 0 ? 0 : Failed("setting the class's file", error);
}

int WriteProgramImage(std::string_view version, const char* file) {
  std::uint32_t high = 0;
  std::uint32_t low = 0;
  if (!ParseVersion(version, high, low)) return Usage();
  const std::string image = corvane::emulated::MakeProgramImage(high, low);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(image.data(), static_cast<std::streamsize>(image.size()));
  out.close();
  if (!out) {
    (void)std::fprintf(stderr, "corvane-machine: cannot write %s\n", file);
    return 1;
  }
  return 0;
}

// create [--preset NAME]: a new machine of one of the Windows the system tells apart.
int Create(const std::string& root, const std::vector<std::string>& args) {
  std::string_view name = "win7-sp1-x64";
  if (args.size() == 2 && args[0] == "--preset") {
    name = args[1];
  } else if (!args.empty()) {
    return Usage();
  }
  const std::vector<corvane::emulated::MachinePreset> presets = corvane::emulated::MachinePresets();
  const corvane::emulated::MachinePreset* preset =
      corvane::emulated::FindMachinePreset(presets, name);
  if (preset == nullptr) {
    (void)std::fprintf(stderr, "corvane-machine: no preset %.*s; the presets are:",
                       static_cast<int>(name.size()), name.data());
    for (const auto& known : presets) (void)std::fprintf(stderr, " %s", known.name.c_str());
    (void)std::fputs("\n", stderr);
    return 2;
  }
  if (const std::string error = corvane::emulated::CreateMachineFromPreset(root, *preset);
      !error.empty()) {
    (void)std::fprintf(stderr, "corvane-machine: %s\n", error.c_str());
    return 1;
  }
  std::printf("created %s: %s\n", root.c_str(), preset->name.c_str());
  return 0;
}

// Prints the programs' log without opening the machine: it is read while Corvane runs.
int ProgramLog(const std::string& root) {
  const corvane::emulated::ProgramOutputLog log(MachineFolder(root).programLog());
  for (const std::filesystem::path& file : {log.olderFile(), log.file()}) {
    std::ifstream in(file, std::ios::binary);
    if (!in) continue;
    const std::string text(std::istreambuf_iterator<char>(in), {});
    (void)std::fwrite(text.data(), 1, text.size(), stdout);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::string_view(argv[1]) == "program-image") {
    return argc == 4 ? WriteProgramImage(argv[2], argv[3]) : Usage();
  }
  std::string root = MachineFolder::DefaultRoot().string();
  std::string_view command;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (command.empty() && arg == "--machine" && i + 1 < argc) {
      root = argv[++i];
    } else if (command.empty()) {
      command = arg;
    } else {
      args.emplace_back(arg);
    }
  }
  if (command == "create") return Create(root, args);
  if (command == "program-log") return args.empty() ? ProgramLog(root) : Usage();
  static constexpr std::array<std::string_view, 10> kCommands = {
      "show",     "reboot",         "reg-set",    "reg-get",  "reg-delete",
      "put-file", "register-class", "import-reg", "reg-list", "snapshot"};
  if (std::find(kCommands.begin(), kCommands.end(), command) == kCommands.end()) {
    return Usage();
  }
  if ((command == "show" || command == "reboot") && !args.empty()) return Usage();
  EmulatedPlatform machine(root);
  // A machine that cannot be read whole is neither described nor changed: both would act
  // on a PC with parts missing. Creating a new machine is not an error.
  if (const std::string errors = machine.loadErrors(); !errors.empty()) {
    (void)std::fprintf(stderr, "corvane-machine: the machine %s cannot be read whole:\n%s\n",
                       machine.folder().root().string().c_str(), errors.c_str());
    return 2;
  }
  if (command == "reboot") {
    const std::size_t done = machine.emulatedFiles().Reboot();
    std::printf("restarted: %zu pending operation(s) carried out\n", done);
    return 0;
  }
  if (command == "reg-set") return RegSet(machine, args);
  if (command == "reg-get") return RegGet(machine, args);
  if (command == "reg-delete") return RegDelete(machine, args);
  if (command == "put-file") return PutFile(machine, args);
  if (command == "register-class") return RegisterClass(machine, args);
  if (command == "import-reg") return corvane::emulated::ImportRegFiles(machine, args);
  if (command == "snapshot") return corvane::RunSnapshotCommand(machine, args);
  if (command == "reg-list") {
    return args.size() == 1 ? corvane::emulated::ListRegistryTree(machine, args[0]) : Usage();
  }
  return Show(machine);
}
