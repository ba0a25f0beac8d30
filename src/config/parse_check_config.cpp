#include "config/parse_check_config.h"

namespace corvane {

// Stand-in until the parser is built: nothing is parsed.
bool ParseCheckConfig(CheckConfig& /*config*/, std::string_view /*text*/) { return false; }

}  // namespace corvane
