// corvane-machine.exe: the Windows build's machine tool. It has one command, snapshot, which
// writes a machine folder of the emulated PC from the Windows PC it runs on; the other
// commands act on emulated PCs and live in the Linux build.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/command_line.h"
#include "platform/platform.h"
#include "platform/utf.h"
#include "platform/win32/win32_util.h"
#include "snapshot/machine_snapshot.h"

int main() {
  const std::string line =
      corvane::Utf16ToUtf8(reinterpret_cast<const char16_t*>(::GetCommandLineW()));
  const std::vector<corvane::ProgramToken> tokens = corvane::ProgramTokens(line);
  std::vector<std::string> args =
      tokens.empty() ? std::vector<std::string>() : corvane::SplitArguments(tokens.front().rest);
  if (args.empty() || args.front() != "snapshot") {
    (void)std::fputs(
        "usage: corvane-machine snapshot DIR [--config ITEM.XML]\n"
        "  writes a machine folder of Corvane's emulated PC from this PC into DIR (a new or\n"
        "  empty folder): the Windows version, the registry keys Corvane reads, the hosts\n"
        "  file, the CFCA certificates, the USB devices and the files the configuration's\n"
        "  detect rules name. ITEM.XML: a configuration to take them from instead of the\n"
        "  built-in one. Exit status 2: bad arguments; 1: DIR could not be written.\n",
        stderr);
    return 2;
  }
  args.erase(args.begin());
  // A 64-bit build sees files where the shipping 32-bit program does not.
  return corvane::RunSnapshotCommand(corvane::CurrentPlatform(), args, sizeof(void*) == 8);
}
