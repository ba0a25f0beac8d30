#pragma once

// Reading item.xml into the configuration model, with the conversions the model's values go
// through: URL resolution against `base`, installer conditions, and (config/config_paths.h)
// environment expansion and download paths.

#include <string>
#include <string_view>

#include "config/check_config.h"
#include "config/config_paths.h"

namespace corvane {

// Adds the document's sections, items, components and application record to `config` and
// sets configLoaded. Does not empty the lists first (the caller does). When the text is not
// a well-formed document with a root `checkitems`, returns false and leaves `config` as it
// was.
bool ParseCheckConfig(CheckConfig& config, std::string_view text);

// The first section whose type equals `type` byte for byte, or nullptr.
const ConfigSection* FindSection(const CheckConfig& config, std::string_view type);
ConfigSection* FindSection(CheckConfig& config, std::string_view type);

// `value` when it contains "://" anywhere, otherwise base followed directly by value.
std::string ResolveUrl(std::string_view value, std::string_view base);

// Whether an installer with this `condition` applies to the running system: always when
// empty, "NT6" from major version 6 on, "NT5" below it (or when the version cannot be read),
// never for anything else. Exact and case-sensitive.
bool InstallerConditionHolds(std::string_view condition);

}  // namespace corvane
