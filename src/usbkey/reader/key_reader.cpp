// corvane-key-reader MACHINE MODULE_PATH ADAPTER_CLASS: reads one USB key vendor's library of
// the emulated PC in MACHINE (the program at MODULE_PATH, a Windows path, and the library
// beside it) with the adapter ADAPTER_CLASS, and prints the adapter's account of the reading
// (EncodeKeyReading) to standard output. It runs confined, in a process of its own, started
// by the emulated platform's readInHelper(): the library's code, written where confined
// programs write, runs here and never in the program that shows the report.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "platform/emulated/emulated_platform.h"
#include "platform/platform.h"
#include "usbkey/usb_key.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    (void)std::fputs("usage: corvane-key-reader MACHINE MODULE_PATH ADAPTER_CLASS\n", stderr);
    return 2;
  }
  // The account goes to a descriptor of its own; what the library prints goes to stderr
  // and cannot be taken for part of it.
  const int account = ::dup(STDOUT_FILENO);
  if (account < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) return 1;
  std::string text;
  {
    auto platform = std::make_unique<corvane::emulated::EmulatedPlatform>(argv[1]);
    platform->emulatedEnvironment().setModulePath(argv[2]);
    platform->emulatedLibraries().readInThisProcess();
    const corvane::ScopedPlatform scoped(std::move(platform));
    const std::unique_ptr<corvane::CUSBKey> adapter = corvane::MakeUsbKeyAdapter(argv[3]);
    if (adapter == nullptr) return 2;
    adapter->ReadKeyInfo();
    text = corvane::EncodeKeyReading(*adapter);
  }
  for (std::size_t at = 0; at < text.size();) {
    const ssize_t wrote = ::write(account, text.data() + at, text.size() - at);
    if (wrote <= 0) return 1;
    at += static_cast<std::size_t>(wrote);
  }
  ::close(account);
  return 0;
}
