#pragma once

// A snapshot of the PC the program runs on as a machine folder of the emulated PC, so that
// support and QA staff can run the program on Linux against a customer's or a test PC's
// state. It holds what the program reads and nothing else: the version record (machine.ini),
// the registry keys the checks, zones, components and update read, the hosts file, the
// certificates the root-certificate check looks for, the attached USB devices and the files
// the configuration's detect rules name. No other registry branch and no private key is
// copied, and no network.ini is written, so the snapshot is kept apart from the real network.

#include <filesystem>
#include <string>
#include <vector>

#include "config/check_config.h"
#include "platform/platform.h"
#include "platform/registry.h"

namespace corvane {

// A registry key to copy, named as stored (the native view: the 32-bit view's keys of a
// 64-bit Windows are their own entries, under Wow6432Node). `tree` copies the keys below it
// too; otherwise only the key's own values.
struct SnapshotKey {
  RegistryRoot root = RegistryRoot::kLocalMachine;
  std::string path;
  bool tree = false;
  bool operator==(const SnapshotKey&) const = default;
};

struct SnapshotPlan {
  std::vector<SnapshotKey> keys;
  // Windows paths, %VARIABLES% allowed, of files copied to the snapshot's C: drive.
  std::vector<std::string> files;
  // Set when the snapshot is taken by a 64-bit process on a 64-bit Windows: files are then
  // read where the 32-bit program finds them (%ProgramFiles% is "Program Files (x86)",
  // System32 is SysWOW64) and stored under the names the program uses, as the emulated PC,
  // which has no file-system redirection, looks them up.
  bool readAs32BitProgram = false;
};

// The keys and files `config` makes the program read, with the keys fixed in the program
// (browser version, policies, zones, compatibility list); the configuration's "registry"
// entries and its "reg", "clsid" and "file" detect rules and file requirements. Keys of
// HKLM\SOFTWARE and HKCR come with their Wow6432Node twins, which a 32-bit program reads on a
// 64-bit Windows.
SnapshotPlan BuildSnapshotPlan(const CheckConfig& config);

struct SnapshotResult {
  std::string error;               // why no snapshot was written; empty on success
  std::vector<std::string> notes;  // what was not there or not copied, one line each
  [[nodiscard]] bool ok() const { return error.empty(); }
};

// Writes the snapshot of `platform` into `dir`, which must not exist or be an empty folder.
// Class servers registered for the plan's classes are copied as files too, since the
// component check looks for them. Fails, leaving what was written, only when `dir` cannot be
// written; what is missing on the PC is left out and noted.
SnapshotResult TakeMachineSnapshot(Platform& platform, const SnapshotPlan& plan,
                                   const std::filesystem::path& dir);

// `corvane-machine snapshot DIR [--config ITEM.XML]`: the plan of the given configuration
// document (a bank's served item.xml), else of the built-in one from `platform`'s resources,
// written to DIR. Prints what was left out on stdout. Exit status 0 on success, 1 when DIR
// cannot be written or is not empty, 2 for bad arguments or a document that does not parse.
int RunSnapshotCommand(Platform& platform, const std::vector<std::string>& args,
                       bool readAs32BitProgram = false);

// A host path from UTF-8 text (wide on Windows).
std::filesystem::path HostPathFromUtf8(std::string_view text);

}  // namespace corvane
