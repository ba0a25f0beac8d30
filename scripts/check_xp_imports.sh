#!/usr/bin/env bash
# Fails when a Windows program imports a function that Windows XP does not have: such a
# program does not even start there. Usage: check_xp_imports.sh program.exe...
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

objdump=i686-w64-mingw32-objdump
status=0
for program in "$@"; do
  # "DLL Name: X" starts a block; its entries are "<hint> <name>" lines.
  imports="$("${objdump}" -p "${program}" | awk '
    /DLL Name:/ { dll = toupper($3); next }
    dll != "" && NF == 3 && $1 ~ /^[0-9a-f]+$/ { print dll ":" $3 }
    /^$/ { }')"
  missing="$(grep -Fx -f <(grep -v '^#' scripts/xp_missing_imports.txt | sed '/^$/d') <<<"${imports}" || true)"
  major="$("${objdump}" -p "${program}" | awk '/MajorSubsystemVersion/ { print $2 }')"
  if [[ -n "${missing}" ]]; then
    echo "${program}: imports functions that Windows XP lacks:" >&2
    echo "${missing}" >&2
    status=1
  elif [[ "${major}" -gt 5 ]]; then
    echo "${program}: subsystem version ${major} is newer than Windows XP" >&2
    status=1
  else
    echo "${program}: runs on Windows XP ($(wc -l <<<"${imports}") imports checked)"
  fi
done
exit "${status}"
