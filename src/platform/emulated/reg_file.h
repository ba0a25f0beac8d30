#pragma once

// One registry hive in memory, and its text form: the "Windows Registry Editor Version 5.00"
// format that regedit exports, in UTF-8. Keys are found by their case-folded names and keep
// the case they were created with; values keep the order they were first set in, as Windows
// does.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::emulated {

struct RegValue {
  std::string name;  // "" is the key's default value
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;

  bool operator==(const RegValue&) const = default;
};

struct RegNode {
  std::string name;
  std::vector<RegValue> values;
  std::map<std::string, std::shared_ptr<RegNode>> subkeys;  // by FoldRegName(name)
  // Set when the key is deleted while handles to it are still open.
  bool deleted = false;

  RegValue* FindValue(std::string_view valueName);
  const RegValue* FindValue(std::string_view valueName) const;
  RegNode* FindSubKey(std::string_view keyName) const;
};

// The form names are compared in: upper case, as Windows compares registry names (ASCII,
// Latin-1, Greek and Cyrillic letters; other scripts have no case).
std::string FoldRegName(std::string_view name);

// How many hexadecimal digits the .reg text formats allow: "dword:" and "hex(N):" numbers
// have 1 to 8, each byte of a hex list 1 or 2.
inline constexpr std::size_t kRegNumberDigits = 8;
inline constexpr std::size_t kRegByteDigits = 2;

// Whether two trees hold the same keys (names and case), values (order, types, data).
bool SameRegTree(const RegNode& a, const RegNode& b);

struct RegParseResult {
  std::shared_ptr<RegNode> root;  // set on success
  std::size_t errorLine = 0;      // 1-based; set on failure
  std::string error;              // empty on success

  [[nodiscard]] bool ok() const { return error.empty(); }
};

// Parses a hive whose keys all lie below `rootName` ("HKEY_CURRENT_USER"). The root node
// gets that name.
RegParseResult ParseRegFile(std::string_view text, std::string_view rootName);

// The text of a hive, which ParseRegFile reads back into the same tree. `comment` lines (no
// line breaks in them) go below the header as ; comments.
std::string WriteRegFile(const RegNode& root, std::string_view comment = {});

}  // namespace corvane::emulated
