#include "platform/run_process.h"

#include "platform/platform.h"
#include "platform/processes.h"

namespace corvane {

bool runProcess(std::string_view commandLine, bool wait) {
  return CurrentPlatform().processes().run(commandLine, wait, nullptr) == 0;
}

bool runProcess(std::string_view commandLine, const std::stop_token& stop) {
  return CurrentPlatform().processes().runUntilStopped(commandLine, stop) == 0;
}

}  // namespace corvane
