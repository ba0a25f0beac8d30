#pragma once

// Obtaining the configuration document, run on the configuration worker. The model is built
// aside and handed to the dialog, which swaps it in on its own thread, so no command ever
// reads a model that is being replaced.

#include <optional>
#include <stop_token>

#include "app/prompts.h"
#include "config/check_config.h"

namespace corvane {

struct AcquiredConfig {
  CheckConfig model;        // the parsed document; model.configLoaded when parsing succeeded
  bool fromServer = false;  // becomes the dialog's configFromServer
  std::optional<bool> serverConfigApplied;  // unchanged when nothing was parsed
};

// Until the download and the local copy exist: the built-in copy (resource "ITEM.XML",
// type 23).
AcquiredConfig AcquireConfig(PromptHost& prompts, std::stop_token stop);

}  // namespace corvane
