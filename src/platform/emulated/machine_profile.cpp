#include "platform/emulated/machine_profile.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <sstream>
#include <system_error>

#ifndef _WIN32
#include "platform/emulated/machine_files.h"
#endif

namespace corvane::emulated {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

template <typename T>
std::optional<T> Number(std::string_view text) {
  int base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    text.remove_prefix(2);
    base = 16;
  }
  T value{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

// "a.b" or "a.b.c" into numbers.
bool Dotted(std::string_view text, std::uint32_t* parts, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t dot = i + 1 < count ? text.find('.') : std::string_view::npos;
    if (i + 1 < count && dot == std::string_view::npos) return false;
    const auto number = Number<std::uint32_t>(text.substr(0, dot));
    if (!number) return false;
    parts[i] = *number;
    if (dot != std::string_view::npos) text.remove_prefix(dot + 1);
  }
  return true;
}

// Applies one key of a section; false when the value is not understood.
bool Apply(MachineProfile& p, std::string_view section, std::string_view key,
           std::string_view value) {
  OsVersionInfo& v = p.version;
  if (section == "windows") {
    if (key == "version") {
      std::uint32_t parts[3];
      if (!Dotted(value, parts, 3)) return false;
      v.majorVersion = parts[0], v.minorVersion = parts[1], v.buildNumber = parts[2];
      return true;
    }
    if (key == "service_pack_version") {
      std::uint32_t parts[2];
      if (!Dotted(value, parts, 2) || parts[0] > 0xFFFF || parts[1] > 0xFFFF) return false;
      v.servicePackMajor = static_cast<std::uint16_t>(parts[0]);
      v.servicePackMinor = static_cast<std::uint16_t>(parts[1]);
      return true;
    }
    if (key == "service_pack") {
      v.servicePack = std::string(value);
      return true;
    }
    if (key == "product_info") {
      if (value == "none") {
        p.productInfo.reset();
        return true;
      }
      const auto number = Number<std::uint32_t>(value);
      if (number) p.productInfo = *number;
      return number.has_value();
    }
    const auto assign = [&](auto& field) {
      const auto number = Number<std::remove_reference_t<decltype(field)>>(value);
      if (number) field = *number;
      return number.has_value();
    };
    if (key == "platform_id") return assign(v.platformId);
    if (key == "suite_mask") return assign(v.suiteMask);
    if (key == "product_type") return assign(v.productType);
    if (key == "architecture") return assign(p.architecture);
    if (key == "server_r2") return assign(p.serverR2);
    return true;
  }
  if (section == "user" && key == "name") {
    p.userName = std::string(value);
    return true;
  }
  if (section == "user" && key == "computer_name") {
    p.computerName = std::string(value);
    return true;
  }
  const auto yesNo = [&](bool& field) {
    if (value != "yes" && value != "no") return false;
    field = value == "yes";
    return true;
  };
  if (section == "programs" && key == "confined") return yesNo(p.programsConfined);
  if (section == "programs" && key == "network") return yesNo(p.programsNetwork);
  if (section == "programs" && key == "read_only") {
    // Absolute paths only: a relative one would depend on where the program was started.
    for (std::size_t start = 0; start <= value.size();) {
      const std::size_t end = std::min(value.find(';', start), value.size());
      const std::string_view path = Trim(value.substr(start, end - start));
      start = end + 1;
      if (path.empty()) continue;
      if (path.front() != '/') return false;
      p.programsReadOnly.emplace_back(path);
    }
    return true;
  }
  if (section == "network" && key == "online") {
    if (value != "yes" && value != "no") return false;
    p.online = value == "yes";
    return true;
  }
  return true;
}

}  // namespace

MachineProfileLoad ParseMachineProfile(std::string_view text, std::string_view fileName) {
  MachineProfileLoad load;
  std::string section;
  std::size_t lineNumber = 0;
  const auto fail = [&](std::string_view what) {
    load.error +=
        std::string(fileName) + ":" + std::to_string(lineNumber) + ": " + std::string(what) + "\n";
  };
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    const std::string_view line = Trim(text.substr(start, end - start));
    start = end + 1;
    ++lineNumber;
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      if (line.back() != ']') {
        fail("a [section] line must end with ]");
        continue;
      }
      section = std::string(Trim(line.substr(1, line.size() - 2)));
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      fail("expected key = value");
      continue;
    }
    const std::string_view key = Trim(line.substr(0, equals));
    const std::string_view value = Trim(line.substr(equals + 1));
    if (!Apply(load.profile, section, key, value)) {
      fail("cannot read " + std::string(key) + " = " + std::string(value));
    }
  }
  if (!load.error.empty()) load.error.pop_back();
  return load;
}

std::string WriteMachineProfile(const MachineProfile& p) {
  const OsVersionInfo& v = p.version;
  char productInfo[16] = "none";
  if (p.productInfo) std::snprintf(productInfo, sizeof productInfo, "0x%08x", *p.productInfo);
  char suite[16];
  std::snprintf(suite, sizeof suite, "0x%04x", v.suiteMask);
  std::ostringstream out;
  out << "; The emulated Windows PC of Corvane: what Windows reports about itself.\n"
         "; Edit while Corvane is not running. Numbers are decimal or 0x hexadecimal.\n"
         "\n"
         "[windows]\n"
         "; major.minor.build, as GetVersionEx reports them\n"
      << "version = " << v.majorVersion << '.' << v.minorVersion << '.' << v.buildNumber
      << "\n"
         "; 2 = VER_PLATFORM_WIN32_NT\n"
      << "platform_id = " << v.platformId
      << "\n"
         "; the service-pack text; leave empty for none\n"
      << "service_pack = " << v.servicePack << "\n"
      << "service_pack_version = " << v.servicePackMajor << '.' << v.servicePackMinor
      << "\n"
         "; VER_SUITE_* bits\n"
      << "suite_mask = " << suite
      << "\n"
         "; 1 workstation, 2 domain controller, 3 server\n"
      << "product_type = " << static_cast<unsigned>(v.productType)
      << "\n"
         "; GetProductInfo's PRODUCT_* type; none where Windows lacks it (XP, 2003)\n"
      << "product_info = " << productInfo
      << "\n"
         "; native processor: 0 x86, 6 IA64, 9 AMD64 (64-bit Windows runs Corvane under WOW64)\n"
      << "architecture = " << p.architecture
      << "\n"
         "; GetSystemMetrics(SM_SERVERR2): non-zero only on Windows Server 2003 R2\n"
      << "server_r2 = " << p.serverR2
      << "\n"
         "\n"
         "[user]\n"
      << "name = " << p.userName
      << "\n"
         "; the PC's name (COMPUTERNAME)\n"
      << "computer_name = " << p.computerName
      << "\n"
         "\n"
         "[network]\n"
         "; yes or no: whether the PC is connected to a network\n"
      << "online = " << (p.online ? "yes" : "no")
      << "\n"
         "\n"
         "[programs]\n"
         "; yes: programs the PC starts (installers, scripts) run confined in bubblewrap and\n"
         "; write only this folder; no: they run with your rights on this Linux machine\n"
      << "confined = " << (p.programsConfined ? "yes" : "no")
      << "\n"
         "; yes: they share this Linux machine's network (127.0.0.1 too); no: none\n"
      << "network = " << (p.programsNetwork ? "yes" : "no")
      << "\n"
         "; host folders or files they may read besides the system's (absolute, ; between)\n"
      << "read_only =";
  for (std::size_t i = 0; i < p.programsReadOnly.size(); ++i) {
    out << (i == 0 ? " " : "; ") << p.programsReadOnly[i];
  }
  out << "\n";
  return out.str();
}

#ifndef _WIN32
// Only the emulated PC loads a profile; the Windows build writes them for snapshots.
MachineProfileLoad LoadMachineProfile(const MachineFolder& machine) {
  const std::filesystem::path file = machine.machineIni();
  const std::filesystem::path name = file.filename();
  if (StatMachineFile(machine.root(), name) == MachineFileStatus::kMissing) {
    MachineProfileLoad load;
    std::error_code ec;
    std::filesystem::create_directories(machine.root(), ec);
    if (CreateMachineFile(machine.root(), name, WriteMachineProfile(load.profile)) !=
        MachineFileStatus::kOk) {
      load.error = file.string() + ": cannot be created";
    }
    return load;
  }
  std::string text;
  if (const MachineFileStatus read = ReadMachineFile(machine.root(), name, text, kMaxMachineText);
      read != MachineFileStatus::kOk) {
    MachineProfileLoad load;
    load.error = file.string() + ": " +
                 (read == MachineFileStatus::kLink ? std::string(DescribeMachineFileStatus(read))
                                                   : std::string("cannot be read"));
    return load;
  }
  return ParseMachineProfile(text, file.string());
}
#endif

}  // namespace corvane::emulated
