#pragma once

// The prompts live in the ui module, below every module that asks the user something; the
// hosts still name them by this header.

#include "ui/prompts.h"  // IWYU pragma: export
