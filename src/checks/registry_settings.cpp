#include "checks/registry_settings.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "checks/compatibility_list.h"
#include "checks/registry_path.h"
#include "config/parse_check_config.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "platform/utf.h"
#include "platform/win_errors.h"
#include "support/atoi_value.h"

namespace corvane {
namespace {

constexpr std::uint32_t kReadWrite = win::kKeyRead | win::kKeyWrite;
constexpr std::string_view kPolicyKey =
    R"(SOFTWARE\Microsoft\Windows\CurrentVersion\Policies\System)";
constexpr std::string_view kPolicyValue = "Disableregistrytools";
// What the value buffers hold: 512 UTF-16 units of text, 512 bytes of binary data.
constexpr std::size_t kStringUnits = 512;
constexpr std::size_t kBinaryBytes = 512;

// atoi's reading as a 32-bit pattern.
std::uint32_t NumberPattern(std::string_view text) {
  return static_cast<std::uint32_t>(AtoiValue(text));
}

std::uint8_t HexDigit(char c) {
  if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<std::uint8_t>(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return static_cast<std::uint8_t>(c - 'a' + 10);
  return 0;
}

std::vector<std::uint8_t> HexBytes(std::string_view text) {
  std::vector<std::uint8_t> bytes(text.size() / 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>((HexDigit(text[2 * i]) << 4U) | HexDigit(text[2 * i + 1]));
  }
  return bytes;
}

bool IsMissing(std::uint32_t error) {
  return error == win::kErrorFileNotFound || error == win::kErrorPathNotFound;
}

// The value's current state against the wanted one.
enum class Found { kMatch, kDifferent, kMissing, kUnusable };

struct DwordEntry {
  std::uint32_t want;
  std::uint32_t mask;
};

Found ReadDword(RegistryKey& key, const std::string& name, const DwordEntry& entry,
                std::uint32_t& current) {
  const std::uint32_t error = key.ReadDword(name, current);
  if (error == win::kErrorSuccess) {
    return (current & entry.mask) == (entry.want & entry.mask) ? Found::kMatch : Found::kDifferent;
  }
  return IsMissing(error) ? Found::kMissing : Found::kUnusable;
}

Found ReadText(RegistryKey& key, const std::string& name, const std::u16string& want) {
  std::array<std::uint8_t, kStringUnits * 2> buffer{};
  RegistryValueInfo info;
  const std::uint32_t error = key.QueryValue(name, buffer, info);
  if (IsMissing(error)) return Found::kMissing;
  if (error != win::kErrorSuccess) return Found::kUnusable;
  if (info.type != win::kRegSz && info.type != win::kRegExpandSz) return Found::kUnusable;
  std::u16string text;
  for (std::size_t i = 0; i + 1 < info.size; i += 2) {
    const auto unit = static_cast<char16_t>(buffer[i] | (buffer[i + 1] << 8U));
    if (unit == u'\0') break;
    text.push_back(unit);
  }
  // A text that fills the whole buffer has no room for its NUL: longer than 511 units.
  if (text.size() >= kStringUnits) return Found::kUnusable;
  return text == want ? Found::kMatch : Found::kDifferent;
}

Found ReadBinary(RegistryKey& key, const std::string& name, const std::vector<std::uint8_t>& want) {
  std::array<std::uint8_t, kBinaryBytes> buffer{};
  RegistryValueInfo info;
  const std::uint32_t error = key.QueryValue(name, buffer, info);
  if (IsMissing(error)) return Found::kMissing;
  if (error != win::kErrorSuccess || info.type != win::kRegBinary) return Found::kUnusable;
  return std::equal(buffer.begin(), buffer.begin() + info.size, want.begin(), want.end())
             ? Found::kMatch
             : Found::kDifferent;
}

// Compares the value with the entry and, in repair mode, writes it when it is missing or
// different; after a write the value is read and compared once more in check mode.
bool CheckValue(RegistryKey& key, const ConfigEntry& entry, bool repair) {
  for (;;) {
    Found found = Found::kUnusable;
    std::uint32_t write = 0;  // what the next write needs
    if (entry.type == "reg_dword") {
      const DwordEntry dword{NumberPattern(entry.value),
                             entry.mask.empty() ? 0xFFFFFFFFU : NumberPattern(entry.mask)};
      std::uint32_t current = 0;
      found = ReadDword(key, entry.name, dword, current);
      if (found == Found::kDifferent) write = (current & ~dword.mask) | (dword.want & dword.mask);
      if (found == Found::kMissing) write = dword.want & dword.mask;
      if (repair && (found == Found::kDifferent || found == Found::kMissing)) {
        key.SetDword(entry.name, write);
      }
    } else if (entry.type == "reg_sz") {
      found = ReadText(key, entry.name, Utf8ToUtf16(entry.value));
      if (repair && (found == Found::kDifferent || found == Found::kMissing)) {
        key.SetString(entry.name, entry.value);
      }
    } else if (entry.type == "reg_binary") {
      const std::vector<std::uint8_t> want = HexBytes(entry.value);
      found = ReadBinary(key, entry.name, want);
      if (repair && (found == Found::kDifferent || found == Found::kMissing)) {
        key.SetValue(entry.name, win::kRegBinary, want);
      }
    }
    if (found == Found::kMatch) return true;
    if (found == Found::kUnusable || !repair) return false;
    repair = false;  // the write's own result does not count; the re-read does
  }
}

bool CheckPolicyValue(bool repair) {
  RegistryKey key;
  if (CurrentPlatform().registry().OpenKey(RegistryRoot::kCurrentUser, kPolicyKey, kReadWrite,
                                           key) != win::kErrorSuccess) {
    return true;  // no policy key: the policy is off
  }
  std::array<std::uint8_t, 4> bytes{};
  RegistryValueInfo info;
  if (key.QueryValue(kPolicyValue, bytes, info) != win::kErrorSuccess ||
      info.type != win::kRegDword) {
    return true;
  }
  const std::uint32_t number = bytes[0] | (bytes[1] << 8U) | (bytes[2] << 16U) |
                               (static_cast<std::uint32_t>(bytes[3]) << 24U);
  if (number == 0) return true;
  if (!repair) return false;
  return key.DeleteValue(kPolicyValue) == win::kErrorSuccess;
}

}  // namespace

bool CheckRegistryEntry(const ConfigEntry& entry, bool repair) {
  const std::optional<RegistryPath> path = ParseBackslashRegistryPath(entry.text);
  if (!path) return false;
  Registry& registry = CurrentPlatform().registry();
  RegistryKey key;
  if (registry.OpenKey(path->root, path->subKey, kReadWrite, key) != win::kErrorSuccess) {
    if (!repair ||
        registry.CreateKey(path->root, path->subKey, kReadWrite, key) != win::kErrorSuccess) {
      return false;
    }
  }
  return CheckValue(key, entry, repair);
}

bool CheckRegistry(CheckConfig& config, bool repair) {
  config.registryOk = [&] {
    if (!CheckCompatibilityList(config, repair)) return false;
    if (const ConfigSection* section = FindSection(config, "registry")) {
      for (const ConfigEntry& entry : section->entries) {
        if (!CheckRegistryEntry(entry, repair)) return false;
      }
    }
    return CheckPolicyValue(repair);
  }();
  return config.registryOk;
}

}  // namespace corvane
