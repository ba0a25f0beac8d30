#pragma once

// Obtaining the configuration document, run on the configuration worker. The model is built
// aside and handed to the dialog, which swaps it in on its own thread, so no command ever
// reads a model that is being replaced.
//
// Sources in order: the bank's server (the document then becomes the local copy), the local
// copy, the built-in copy. A source counts only when its document parses, so a broken answer
// from the server neither replaces a good local copy nor keeps the checks from starting.

#include <chrono>
#include <optional>
#include <stop_token>

#include "config/check_config.h"
#include "ui/prompts.h"

namespace corvane {

struct AcquiredConfig {
  CheckConfig model;        // the parsed document; model.configLoaded when parsing succeeded
  bool fromServer = false;  // becomes the dialog's configFromServer
  std::optional<bool> serverConfigApplied;  // unchanged when nothing was parsed
};

// The prompt shown when the download fails: content 155, instruction 146.
inline constexpr int kConfigDownloadFailedText = 155;
inline constexpr int kConfigDownloadFailedInstruction = 146;

// The bound of the configuration download as a whole (every download also ends when its body
// makes too little progress): whatever the server does, the checks start within about a
// minute of start-up.
inline constexpr std::chrono::seconds kConfigDownloadLimit{45};

// Downloads the bank's document; when that fails or the answer does not parse, tells the user
// (prompt 155/146) and falls back to the local copy, then to the built-in one. After stop is
// requested nothing more is shown and nothing is parsed.
AcquiredConfig AcquireConfig(PromptHost& prompts, const std::stop_token& stop);

}  // namespace corvane
