#pragma once

// The files regedit exports from a real PC, read as a list of changes to merge into the
// emulated PC's hives. Three forms are read:
//   - UTF-16LE with a byte-order mark, "Windows Registry Editor Version 5.00" (what regedit
//     writes);
//   - UTF-8, with or without a byte-order mark, same header;
//   - "REGEDIT4", whose text and hex(1), hex(2) and hex(7) data are ANSI: only ASCII is
//     accepted there, as the file does not say its code page and a guess would change text.
// Every value form regedit writes is read: "text" with \\ and \" escapes (and the \n, \r and
// \0 that Wine's regedit writes), dword:, hex:, hex(N): with data continued over lines that
// end in a backslash, and the deletions [-KEY] and "name"=-.

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/emulated/reg_file.h"

namespace corvane::emulated {

struct RegImportOperation {
  enum class Kind { kCreateKey, kDeleteKey, kSetValue, kDeleteValue };

  Kind kind = Kind::kCreateKey;
  // The full name of the root key ("HKEY_LOCAL_MACHINE"), also when the file abbreviates it.
  std::string root;
  std::vector<std::string> path;  // key names below the root, as spelt in the file
  RegValue value;                 // kSetValue: name, type, data; kDeleteValue: name
  std::size_t line = 0;           // 1-based, where the operation's text starts

  bool operator==(const RegImportOperation&) const = default;
};

struct RegImportParse {
  std::vector<RegImportOperation> operations;  // set on success, in file order
  std::size_t errorLine = 0;                   // 1-based; set on failure
  std::string error;                           // empty on success

  [[nodiscard]] bool ok() const { return error.empty(); }
};

// Reads a whole exported file (its bytes as stored). Never throws; any input either gives
// operations or an error naming a line.
RegImportParse ParseRegeditExport(std::string_view bytes);

struct RegImportError {
  std::size_t line = 0;
  std::string message;
};

// Carries out `operations` on the hive roots of a machine (indexed as RegistryRoot:
// HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT), as regedit does: keys are
// created with their parents, a deleted key goes with its sub keys, deleting what is
// not there is no error. The roots are checked first: an operation on a root the machine
// does not hold (HKEY_USERS, HKEY_CURRENT_CONFIG) or a name the hives cannot hold (line
// breaks, NUL) is an error, and then nothing has been changed.
std::optional<RegImportError> ApplyRegImport(const std::vector<RegImportOperation>& operations,
                                             const std::array<std::shared_ptr<RegNode>, 3>& hives);

}  // namespace corvane::emulated
