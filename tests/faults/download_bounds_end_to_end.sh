#!/usr/bin/env bash
# The whole program against corvane-bank-server answers that no network time-out ends, on
# scratch emulated PCs with the default (patient) time-outs, the program's own bounds as
# shipped. The cases run at the same time, each with its own server and instance lock:
#   config-trickle-body     the configuration's body a byte a second: prompt 155/146, the
#   config-trickle-headers  built-in copy, the checks run (or header lines a second)
#                           and the program ends, all within a minute and a bit;
#   installer-chunked       install(1)'s installer chunked without Content-Length: it runs,
#                           the progress ends at 100 and the program becomes idle and ends;
#   installer-trickle-body  the installer a byte a second: the download fails (prompt 145),
#                           nothing is run, nothing is kept;
#   killed-download         the program killed while that download runs leaves its temporary
#                           in DownTmp; the next start removes it, and only it.
#   download_bounds_end_to_end.sh WORKDIR PROGRAM BANK_SERVER MACHINE_TOOL
set -euo pipefail
work="$(realpath -m "$1")"
program="$(realpath "$2")"
bank_server="$(realpath "$3")"
machine_tool="$(realpath "$4")"
source "$(dirname "${BASH_SOURCE[0]}")/../fixtures/e2e_common.sh"
fresh_work cwd
use_bank_server

# The low-speed bound is 30 s and the configuration's whole bound 45 s; a run that outlives
# this hangs.
run_bound_s=${RUN_BOUND_S:-90}
config_path=/perbank/download/818/item.xml
https_base="https://perbank.marrowby.example/corvane"

mkdir -p "${work}/installer/perbank/download/818" "${work}/installer/corvane"
printf '#!/bin/sh\necho ran >"$CORVANE_MACHINE/drive_c/installed.txt"\n' \
  >"${work}/installer/corvane/setup.exe"
printf '<?xml version="1.0" encoding="utf-8"?>\r\n<checkitems base="%s/">\r\n  <item name="c" type="SafeActiveX">\r\n    <detect type="clsid">{6C1E0C52-7D4B-4B8A-9A43-2F3A1D0E5B12}</detect>\r\n    <installer command="%%1 /verysilent" md5="%s">setup.exe</installer>\r\n  </item>\r\n  <appinfo version="1.0.0.0"/>\r\n</checkitems>\r\n' \
  "${https_base}" "$(md5sum "${work}/installer/corvane/setup.exe" | cut -c1-32)" \
  >"${work}/installer/perbank/download/818/item.xml"

has() { grep -q -- "$2" "${work}/$1.jsonl"; }
download_folder() { find "$1/drive_c" -type d -iname DownTmp | head -1; }
# The program's own temporaries: ~cv, 8 upper-case hexadecimal digits, .tmp.
temporaries() { find "$1/drive_c" -regextype posix-extended -type f -ipath '*/DownTmp/*' \
  -regex '.*/~cv[0-9A-F]{8}\.tmp' 2>/dev/null; }

# run NAME MACHINE [OPTIONS...]: one run of the program to its end; its exit status.
run() {
  local name="$1" machine="$2" status=0
  shift 2
  (cd "${work}/cwd" && timeout --kill-after=5 "${run_bound_s}" "${program}" \
    --machine "${machine}" --ui none --exit-when-idle --answer consent \
    --transcript "${work}/${name}.jsonl" "$@" >"${work}/${name}.out" 2>&1) || status=$?
  [[ ${status} -ne 124 && ${status} -ne 137 ]] || fail "${name}: still running after ${run_bound_s}s"
  [[ ${status} -eq 0 ]] || fail "${name}: the program failed (${status}): $(tail -3 "${work}/${name}.out")"
}

# Each case in a subshell of its own: its own server, machine and instance lock.
case_start() {
  local name="$1"
  mkdir -m 700 "${work}/${name}.runtime"
  export XDG_RUNTIME_DIR="${work}/${name}.runtime"
  trap bank_server_stop EXIT
  bank_server_start "${work}/${name}.server" "${bank_server}" --machine "${work}/${name}" \
    "${@:2}" || fail "${name}: no bank server"
}

config_case() {
  local name="config-$1" started
  case_start "${name}" --fault "${config_path}=$1"
  started=${SECONDS}
  run "${name}" "${work}/${name}"
  local took=$((SECONDS - started))
  bank_server_stop
  has "${name}" '"prompt":"info","ids":\[155,146\]' || fail "${name}: no prompt 155/146"
  has "${name}" '"args":\[0,2,1002\]' || fail "${name}: the checks did not start"
  has "${name}" '"args":\[0,2,1999\]' || fail "${name}: the checks did not end"
  ((took <= 75)) || fail "${name}: the checks ended ${took}s after the start"
  echo "${name}: ${took}s"
}

installer_chunked() {
  local name=installer-chunked started
  case_start "${name}" --files "${work}/installer" --fault /corvane/setup.exe=chunked
  started=${SECONDS}
  run "${name}" "${work}/${name}" --do "install(1)"
  bank_server_stop
  has "${name}" '"args":\[0,2,3\]' || fail "${name}: the installer was not run"
  [[ -e "${work}/${name}/drive_c/installed.txt" ]] || fail "${name}: the installer did not run"
  has "${name}" '"args":\[0,1,100\]' || fail "${name}: the progress did not end at 100"
  echo "${name}: $((SECONDS - started))s"
}

installer_trickle_body() {
  local name=installer-trickle-body started
  case_start "${name}" --files "${work}/installer" --fault /corvane/setup.exe=trickle-body
  started=${SECONDS}
  run "${name}" "${work}/${name}" --do "install(1)"
  bank_server_stop
  has "${name}" '"prompt":"choice","ids":\[145,146,147\]' || fail "${name}: no prompt 145/146/147"
  has "${name}" '"args":\[0,2,3\]' && fail "${name}: the installer was run"
  [[ -z "$(temporaries "${work}/${name}")" ]] || fail "${name}: a temporary was kept"
  echo "${name}: $((SECONDS - started))s"
}

killed_download() {
  local name=killed-download machine="${work}/killed-download" pid folder i
  case_start "${name}" --files "${work}/installer" --fault /corvane/setup.exe=trickle-body
  (cd "${work}/cwd" && exec "${program}" --machine "${machine}" --ui none --answer consent \
    --transcript "${work}/${name}.killed.jsonl" --do "install(1)" \
    >"${work}/${name}.killed.out" 2>&1) &
  pid=$!
  for i in $(seq 1 300); do
    [[ -n "$(temporaries "${machine}")" ]] && break
    sleep 0.1
  done
  kill -9 "${pid}" 2>/dev/null || true
  wait "${pid}" 2>/dev/null || true
  [[ -n "$(temporaries "${machine}")" ]] || fail "${name}: no temporary while the download ran"
  # Files of other names, a near miss of each kind and a folder of the program's naming: none
  # of them is the program's, so all stay.
  folder="$(download_folder "${machine}")"
  local others=("~cv1234567.tmp" "~cv123456789.tmp" "~cvABCDEFGH.tmp" "~cv12345678.tmp.txt"
    "x~cv12345678.tmp" "setup.exe.part" "notes.txt")
  for i in "${others[@]}"; do echo keep >"${folder}/${i}"; done
  mkdir "${folder}/~cv0000ABCD.tmp"
  run "${name}" "${machine}"
  bank_server_stop
  [[ -z "$(temporaries "${machine}")" ]] ||
    fail "${name}: the temporary of the killed download is still there: $(temporaries "${machine}")"
  for i in "${others[@]}"; do
    [[ -e "${folder}/${i}" ]] || fail "${name}: ${i} was removed"
  done
  [[ -d "${folder}/~cv0000ABCD.tmp" ]] || fail "${name}: the folder ~cv0000ABCD.tmp was removed"
  echo "${name}: the temporary left by the kill removed, nothing else"
}

pids=()
(config_case trickle-body) & pids+=($!)
(config_case trickle-headers) & pids+=($!)
(installer_chunked) & pids+=($!)
(installer_trickle_body) & pids+=($!)
(killed_download) & pids+=($!)
failed=0
for p in "${pids[@]}"; do wait "${p}" || failed=1; done
((failed == 0)) || fail "a case failed (above)"
echo "download_bounds_end_to_end: trickling and chunked answers end, and a killed download's temporary goes"
