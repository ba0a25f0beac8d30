#pragma once

// Item 2: the registry values of the configuration's "registry" section, the compatibility-
// view list (checks/compatibility_list.h) and the policy that disables the registry tools.
// Keys are opened and created with read and write access and no view flag, so the 32-bit
// program sees the 32-bit view; every key is closed before a call returns.

#include "config/check_config.h"

namespace corvane {

// The compatibility-view list first (same mode; its failure ends the check), then each
// registry entry in document order up to the first that fails, then the policy value
// "Disableregistrytools" under HKCU\SOFTWARE\Microsoft\Windows\CurrentVersion\Policies\System:
// a non-zero REG_DWORD fails the check, and the repair deletes it. Sets registryOk to the
// result. With repair true, entries after the first failing one are not written.
bool CheckRegistry(CheckConfig& config, bool repair);

// One entry of the "registry" section: `text` a key in backslash form (checks/registry_path.h),
// `name` the value (empty for the default value), `type` "reg_dword", "reg_sz" or
// "reg_binary", `value` the wanted data (a decimal number, the text, or pairs of hexadecimal
// digits), `mask` the bits of a reg_dword that matter (decimal; empty for all).
// Numbers read like atoi (white space, sign, digits; saturating at the 32-bit signed range)
// and are used as 32-bit patterns, so "-1" is all bits. Hexadecimal text gives one byte per
// two characters, a character that is no digit counting as 0 and a trailing odd one ignored.
// In repair mode a missing key is created, and a missing or different value is written
// (a reg_dword only in the masked bits) and read back: the result is whether that re-read
// matches. A value of another registry type, a reg_sz longer than 511 UTF-16 units and
// reg_binary data over 512 bytes fail in both modes and are never overwritten.
bool CheckRegistryEntry(const ConfigEntry& entry, bool repair);

}  // namespace corvane
