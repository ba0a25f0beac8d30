#include "components/component_report.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <limits>
#include <string>

#include "checks/registry_value_exists.h"
#include "platform/environment.h"
#include "platform/file_md5.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "platform/utf.h"
#include "platform/win_errors.h"
#include "support/atoi_value.h"

namespace corvane {
namespace {

constexpr ComponentState kCodeMask = 0x3FFFFFFFU;
constexpr ComponentState kFileMismatch = 1;
constexpr ComponentState kRuleFailed = 4;
// A code becomes this much higher when something can be installed (1 -> 2, 4 -> 5).
constexpr ComponentState kInstallable = 1;

void SetCode(ComponentState& state, ComponentState code) { state = (state & ~kCodeMask) | code; }

// strtol with base 0 where long has 32 bits, as on Windows: leading blanks, a sign, "0x"
// for hexadecimal, "0" for octal; saturates at the limits. `consumed` is 0 when no digits
// were read.
std::int32_t StrtolBase0(std::string_view text, std::size_t& consumed) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  const auto digitOf = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
  };
  if (i < text.size() && text[i] == '0') {
    if (i + 2 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        digitOf(text[i + 2]) < 16) {
      base = 16;
      i += 2;
    } else {
      base = 8;
    }
  }
  const std::size_t digitsStart = i;
  std::int64_t value = 0;
  constexpr std::int64_t kCap = std::int64_t{1} << 32;  // beyond either limit
  while (i < text.size() && digitOf(text[i]) < base) {
    value = std::min(kCap, value * base + digitOf(text[i]));
    ++i;
  }
  consumed = i == digitsStart ? 0 : i;
  if (consumed == 0) return 0;
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max())
    return std::numeric_limits<std::int32_t>::max();
  if (value < std::numeric_limits<std::int32_t>::min())
    return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

// `version` as the required high and low halves: up to four atoi numbers, each after the
// next ".", cut to 16 bits.
void RequiredVersion(std::string_view version, std::uint32_t& high, std::uint32_t& low) {
  std::array<std::uint32_t, 4> parts{};
  std::string_view rest = version;
  for (std::size_t k = 0; k < parts.size(); ++k) {
    if (k > 0) {
      const std::size_t dot = rest.find('.');
      if (dot == std::string_view::npos) break;
      rest = rest.substr(dot + 1);
    }
    parts[k] = static_cast<std::uint32_t>(AtoiValue(rest)) & 0xFFFFU;
  }
  high = (parts[0] << 16) | parts[1];
  low = (parts[2] << 16) | parts[3];
}

bool CanInstall(const CheckItem& entry) {
  return !entry.installers.empty() ||
         std::ranges::any_of(entry.files, [](const FileSpec& file) { return !file.url.empty(); });
}

constexpr std::string_view kAddOnSettings =
    R"(Software\Microsoft\Windows\CurrentVersion\Ext\Settings\)";

}  // namespace

std::vector<UsbDeviceId> ParseUsbIdList(std::string_view text) {
  std::vector<UsbDeviceId> ids;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t consumed = 0;
    const std::int32_t value = StrtolBase0(text.substr(start), consumed);
    if (value != 0) ids.push_back(static_cast<UsbDeviceId>(value));
    // The next comma is looked for from where the number started.
    const std::size_t comma = text.find(',', start);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return ids;
}

bool CheckFileSpec(const FileSpec& spec) {
  FileSystem& files = CurrentPlatform().files();
  if (!files.exists(spec.localPath)) return false;
  if (!spec.version.empty()) {
    FixedFileVersion version;
    if (files.fixedFileVersion(spec.localPath, version) != win::kErrorSuccess) return false;
    std::uint32_t high = 0;
    std::uint32_t low = 0;
    RequiredVersion(spec.version, high, low);
    if (version.fileVersionMS < high || version.fileVersionLS < low) return false;
  }
  if (!spec.md5.empty() && FileMd5Hex(files, spec.localPath) != spec.md5) return false;
  return true;
}

bool IsClassRegistered(std::string_view classId) {
  RegistryKey key;
  const std::string path = "CLSID\\" + std::string(classId) + "\\InprocServer32";
  if (CurrentPlatform().registry().OpenKey(RegistryRoot::kClassesRoot, path, win::kKeyRead, key) !=
      win::kErrorSuccess) {
    return false;
  }
  // The path is read into 260 UTF-16 units: a longer one does not fit and counts as absent.
  constexpr std::uint32_t kBufferBytes = 260 * 2;
  RegistryValueInfo info;
  if (key.ProbeValue("", info) != win::kErrorSuccess || info.size > kBufferBytes) return false;
  std::string server;
  if (key.ReadString("", server) != win::kErrorSuccess) return false;
  return !server.empty() && CurrentPlatform().files().exists(server);
}

bool IsAddOnDisabled(std::string_view classId, bool reEnable) {
  const std::string path = std::string(kAddOnSettings) + std::string(classId);
  Registry& registry = CurrentPlatform().registry();
  RegistryKey key;
  if (registry.OpenKey(RegistryRoot::kCurrentUser, path, win::kKeyRead, key) !=
      win::kErrorSuccess) {
    return false;
  }
  std::uint32_t flags = 0;
  const bool disabled = key.ReadDword("Flags", flags) == win::kErrorSuccess && flags == 1;
  key.Close();
  if (!disabled) return false;
  if (reEnable) {
    (void)registry.DeleteKey(RegistryRoot::kCurrentUser, path);
    return false;
  }
  return true;
}

bool DetectComponents(std::vector<CheckItem>& list) {
  Environment& environment = CurrentPlatform().environment();
  FileSystem& files = CurrentPlatform().files();
  for (CheckItem& entry : list) {
    ComponentState state = 0;
    for (const DetectRule& rule : entry.detects) {
      bool failed = false;
      if (rule.type == "clsid") {
        if (IsAddOnDisabled(rule.text, false)) state |= kComponentDisabledFlag;
        failed = !IsClassRegistered(rule.text);
      } else if (rule.type == "reg") {
        failed = !RegistryValueExists(rule.text);
      } else if (rule.type == "file") {
        failed = !files.exists(environment.expand(rule.text));
      } else if (rule.type == "usbkey") {
        const std::vector<UsbDeviceId> ids = ParseUsbIdList(rule.text);
        if (AnyUsbIdConnected(ids)) {
          state &= ~kComponentKeyAbsentFlag;
        } else {
          state |= kComponentKeyAbsentFlag;
        }
      }
      if (failed) {
        SetCode(state, kRuleFailed);
        break;
      }
    }
    if ((state & kCodeMask) == 0) {
      for (const FileSpec& file : entry.files) {
        if (!CheckFileSpec(file)) {
          SetCode(state, kFileMismatch);
          break;
        }
      }
    }
    const ComponentState code = state & kCodeMask;
    if ((code == kRuleFailed || code == kFileMismatch) && CanInstall(entry)) {
      SetCode(state, code + kInstallable);
    }
    entry.state = state;
  }
  return true;
}

int RowOfType(std::string_view type) {
  if (type == "SafeActiveX") return 1;
  if (type == "SignActiveX") return 2;
  if (type == "UkeyActiveX") return 3;
  if (type == "driver") return 4;
  return 0;
}

PageStates ComponentStates(const CheckConfig& config, bool configFromServer,
                           std::array<bool, 4>& groupUnreported, std::int32_t n) {
  if (n < 1 || static_cast<std::size_t>(n) > config.items.size()) return {};
  const CheckItem& entry = config.items[static_cast<std::size_t>(n) - 1];
  const ComponentState s = entry.state;
  const ComponentState c = s & kCodeMask;
  const int row = RowOfType(entry.type);
  if (row == 0) return {};
  const auto word = static_cast<std::int32_t>(s);
  if (row == 1 && !entry.tips.empty()) {
    return {SetStateWithTexts(2, n, word, {entry.tips, entry.name})};
  }
  bool& unreported = groupUnreported[static_cast<std::size_t>(row) - 1];
  // Rows 1 and 2 judge by the code; rows 3 and 4 by the whole word, so a flag alone (a key
  // that is not plugged in) counts as not in order there.
  const bool inOrder = row <= 2 ? c == 0 : s == 0;
  if (inOrder) {
    if (unreported) return {SetState(2, row, 0)};
    return {};
  }
  unreported = false;
  PageStates states = {SetState(2, row, word)};
  if (!configFromServer) {
    // Without the server's configuration nothing is offered for installation.
    if (row <= 2 && s == 2) states.push_back(SetState(2, row, 6));
    if (s == 5) states.push_back(SetState(2, row, 7));
  }
  return states;
}

PageStates DisabledComponentStates(const CheckConfig& config, std::int32_t n) {
  if (n < 1 || static_cast<std::size_t>(n) > config.items.size()) return {};
  const int row = RowOfType(config.items[static_cast<std::size_t>(n) - 1].type);
  if (row == 0) return {};
  return {SetState(2, row, 8)};
}

}  // namespace corvane
