#pragma once

// The bank's domains on Internet Explorer's Compatibility View list ("compatibility"
// section), a sub-step of the registry check (checks/registry_settings.h).

#include "config/check_config.h"

namespace corvane {

// Passes when there is no "compatibility" section, when
// HKCU\Software\Microsoft\Internet Explorer\BrowserEmulation "AllSitesCompatibilityMode" is
// the REG_DWORD 1 (never written here), or when every domain has a record in "UserFilter" of
// HKCU\...\BrowserEmulation\ClearableListData (checks/user_filter.h). The ClearableListData
// key is created when missing, in check mode too. The repair appends the missing domains in
// document order; a "UserFilter" that is missing, not REG_BINARY or not a usable list is
// replaced by a new list holding all configured domains. Sets registryOk to the result; in
// repair mode the result is whether the list was written.
bool CheckCompatibilityList(CheckConfig& config, bool repair);

}  // namespace corvane
