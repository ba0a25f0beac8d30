#!/usr/bin/env bash
# Runs a Windows program under 64-bit Wine; used as CMAKE_CROSSCOMPILING_EMULATOR.
#   wine-run.sh PROGRAM.exe [ARGS...]   run a program
#   wine-run.sh --init                  create the prefix now (the first start takes seconds)
# The prefix is a scratch one inside the build tree unless WINEPREFIX is set.
set -euo pipefail

repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-${repo_root}/build/win64/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko: their install prompts would stall a headless run.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEARCH=win64
unset DISPLAY

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

init_prefix() {
  mkdir -p "$(dirname "${WINEPREFIX}")"
  # Tests may start in parallel; only one of them should create the prefix.
  exec 9>"${WINEPREFIX}.lock"
  flock 9
  if [[ ! -f "${WINEPREFIX}/system.reg" ]]; then
    "${wine}" wineboot --init >/dev/null 2>&1
    "${wineserver}" -w
  fi
  flock -u 9
  exec 9>&-
}

if [[ "${1:-}" == "--init" ]]; then
  init_prefix
  exit 0
fi
if [[ $# -eq 0 ]]; then
  echo "usage: $0 PROGRAM.exe [ARGS...] | --init" >&2
  exit 2
fi
init_prefix
exec "${wine}" "$@"
