#include "platform/emulated/tool/machine_registry_commands.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string_view>

#include "platform/emulated/regedit_import.h"
#include "platform/registry.h"
#include "platform/utf.h"

namespace corvane::emulated {
namespace {

bool ReadWhole(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

std::u16string Units(const std::vector<std::uint8_t>& data) {
  std::u16string out(data.size() / 2, u'\0');
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char16_t>(data[2 * i] | (data[(2 * i) + 1] << 8U));
  }
  return out;
}

std::string Hex(const std::vector<std::uint8_t>& data) {
  static constexpr std::string_view kDigits = "0123456789ABCDEF";
  std::string out;
  for (const std::uint8_t b : data) {
    out += kDigits[b >> 4U];
    out += kDigits[b & 0xFU];
  }
  return out;
}

// The text of a string value up to its first NUL, as reg query shows it.
std::string Text(const std::vector<std::uint8_t>& data) {
  std::u16string units = Units(data);
  units.resize(std::min(units.find(u'\0'), units.size()));
  return Utf16ToUtf8(units);
}

std::string Shown(const RegValue& value) {
  switch (value.type) {
    case 1:
    case 2:
      return Text(value.data);
    case 7: {
      std::u16string units = Units(value.data);
      while (!units.empty() && units.back() == u'\0') units.pop_back();
      std::string out;
      for (const char16_t unit : units) {
        out += unit == u'\0' ? std::string("\\0") : Utf16ToUtf8(std::u16string(1, unit));
      }
      return out;
    }
    case 4:
      if (value.data.size() == 4) {
        std::uint32_t number = 0;
        for (std::size_t i = 4; i-- > 0;) number = (number << 8U) | value.data[i];
        std::array<char, 16> text{};
        (void)std::snprintf(text.data(), text.size(), "0x%x", number);
        return text.data();
      }
      break;
    case 11:
      if (value.data.size() == 8) {
        unsigned long long number = 0;
        for (std::size_t i = 8; i-- > 0;) number = (number << 8U) | value.data[i];
        std::array<char, 24> text{};
        (void)std::snprintf(text.data(), text.size(), "0x%llx", number);
        return text.data();
      }
      break;
    default:
      break;
  }
  return Hex(value.data);
}

std::string TypeName(std::uint32_t type) {
  static constexpr std::array<const char*, 12> kNames = {"REG_NONE",
                                                         "REG_SZ",
                                                         "REG_EXPAND_SZ",
                                                         "REG_BINARY",
                                                         "REG_DWORD",
                                                         "REG_DWORD_BIG_ENDIAN",
                                                         "REG_LINK",
                                                         "REG_MULTI_SZ",
                                                         "REG_RESOURCE_LIST",
                                                         "REG_FULL_RESOURCE_DESCRIPTOR",
                                                         "REG_RESOURCE_REQUIREMENTS_LIST",
                                                         "REG_QWORD"};
  if (type < kNames.size()) return kNames[type];
  std::array<char, 16> text{};
  (void)std::snprintf(text.data(), text.size(), "0x%x", type);
  return text.data();
}

void PrintTree(const RegNode& node, const std::string& path) {
  std::printf("%s\n", path.c_str());
  for (const RegValue& value : node.values) {
    std::printf("    %s    %s    %s\n", value.name.empty() ? "(Default)" : value.name.c_str(),
                TypeName(value.type).c_str(), Shown(value).c_str());
  }
  std::printf("\n");
  for (const auto& [folded, child] : node.subkeys) PrintTree(*child, path + "\\" + child->name);
}

}  // namespace

int ImportRegFiles(EmulatedPlatform& machine, const std::vector<std::string>& files) {
  if (files.empty()) {
    (void)std::fputs("usage: corvane-machine import-reg FILE...\n", stderr);
    return 2;
  }
  // Every file is read and parsed first: a later file's error must not leave the earlier
  // ones merged.
  std::vector<std::vector<RegImportOperation>> parsed;
  for (const std::string& file : files) {
    std::string bytes;
    if (!ReadWhole(file, bytes)) {
      (void)std::fprintf(stderr, "corvane-machine: %s: cannot be read\n", file.c_str());
      return 2;
    }
    RegImportParse result = ParseRegeditExport(bytes);
    if (!result.ok()) {
      (void)std::fprintf(stderr, "corvane-machine: %s:%zu: %s\n", file.c_str(), result.errorLine,
                         result.error.c_str());
      return 2;
    }
    parsed.push_back(std::move(result.operations));
  }
  std::string failure;
  const std::uint32_t error = machine.emulatedRegistry().EditHives(
      [&](const std::array<std::shared_ptr<RegNode>, 3>& roots) {
        for (std::size_t i = 0; i < parsed.size(); ++i) {
          if (auto bad = ApplyRegImport(parsed[i], roots)) {
            failure = files[i] + ":" + std::to_string(bad->line) + ": " + bad->message;
            return false;
          }
        }
        return true;
      });
  if (!failure.empty()) {
    (void)std::fprintf(stderr, "corvane-machine: %s\n", failure.c_str());
    return 2;
  }
  if (error != 0) {
    (void)std::fprintf(stderr, "corvane-machine: saving the hives failed with Windows error %u\n",
                       error);
    return 1;
  }
  return 0;
}

int ListRegistryTree(EmulatedPlatform& machine, const std::string& key) {
  const std::size_t slash = key.find('\\');
  const std::string rootName = FoldRegName(key.substr(0, slash));
  static constexpr std::array<std::array<std::string_view, 2>, 3> kRoots = {
      {{"HKEY_LOCAL_MACHINE", "HKLM"},
       {"HKEY_CURRENT_USER", "HKCU"},
       {"HKEY_CLASSES_ROOT", "HKCR"}}};
  std::size_t index = kRoots.size();
  for (std::size_t i = 0; i < kRoots.size(); ++i) {
    if (rootName == kRoots[i][0] || rootName == kRoots[i][1]) index = i;
  }
  if (index == kRoots.size()) {
    (void)std::fputs("usage: corvane-machine reg-list HKLM\\...|HKCU\\...|HKCR\\...\n", stderr);
    return 2;
  }
  int status = 1;
  (void)machine.emulatedRegistry().EditHives(
      [&](const std::array<std::shared_ptr<RegNode>, 3>& roots) {
        const RegNode* node = roots[index].get();
        std::string path(kRoots[index][0]);
        for (std::size_t start = slash; node != nullptr && start != std::string::npos;) {
          const std::size_t next = key.find('\\', start + 1);
          const std::string part =
              key.substr(start + 1, next == std::string::npos ? next : next - start - 1);
          start = next;
          if (part.empty()) continue;
          node = node->FindSubKey(part);
          if (node != nullptr) path += "\\" + node->name;
        }
        if (node != nullptr) {
          std::printf("\n");
          PrintTree(*node, path);
          status = 0;
        }
        return false;  // only read
      });
  return status;
}

}  // namespace corvane::emulated
