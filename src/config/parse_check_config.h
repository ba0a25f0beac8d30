#pragma once

// Parses an item.xml text into the configuration model.

#include <string_view>

#include "config/check_config.h"

namespace corvane {

// Fills `config` from `text`; sets configLoaded when the document was parsed.
bool ParseCheckConfig(CheckConfig& config, std::string_view text);

}  // namespace corvane
