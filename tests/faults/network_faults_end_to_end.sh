#!/usr/bin/env bash
# The whole program against corvane-bank-server answering with each network fault, on a
# scratch emulated PC whose network time-outs are short, at each download a start makes:
#   config     the configuration: prompt 155/146, the built-in copy used, no local copy;
#   update     the new executable (appinfo 2.0.0.0): no prompt, the checks run, the program
#              file unchanged, nothing left in the download folder;
#   installer  install(1)'s installer: prompt 145/146/147, nothing run, nothing kept.
# Every run must end on its own within a bound far above the time-outs: a stall or a silent
# server ends with the receive time-out, not with the server.
#   network_faults_end_to_end.sh WORKDIR PROGRAM BANK_SERVER MACHINE_TOOL
set -euo pipefail
work="$(realpath -m "$1")"
program="$(realpath "$2")"
bank_server="$(realpath "$3")"
machine_tool="$(realpath "$4")"
source "$(dirname "${BASH_SOURCE[0]}")/../fixtures/e2e_common.sh"
fresh_work cwd
private_runtime_dir
use_bank_server

# Far below the defaults, so the stalls end quickly; a run that outlives run_bound_s hangs.
timeouts=(--connect-ms 2000 --receive-ms 2000)
run_bound_s=60

config_path=/perbank/download/818/item.xml
https_base="https://perbank.marrowby.example/corvane"
# The files of each phase, each served with its own configuration. The configuration phase's
# has no items, so the result line tells it from the built-in copy: 1 against 3.
mkdir -p "${work}/config/perbank/download/818" \
  "${work}/update/perbank/download/818" "${work}/update/corvane" \
  "${work}/installer/perbank/download/818" "${work}/installer/corvane"
printf '<?xml version="1.0" encoding="utf-8"?>\r\n<checkitems>\r\n  <appinfo version="1.0.0.0"/>\r\n</checkitems>\r\n' \
  >"${work}/config/perbank/download/818/item.xml"
"${machine_tool}" program-image 2.0.0.0 "${work}/update/corvane/Corvane.exe"
"${machine_tool}" program-image 1.0.0.0 "${work}/v1.exe"
printf '<?xml version="1.0" encoding="utf-8"?>\r\n<checkitems>\r\n  <appinfo version="2.0.0.0" md5="%s" remote="%s/Corvane.exe"/>\r\n</checkitems>\r\n' \
  "$(md5sum "${work}/update/corvane/Corvane.exe" | cut -c1-32)" "${https_base}" \
  >"${work}/update/perbank/download/818/item.xml"
printf '#!/bin/sh\necho ran >"$CORVANE_MACHINE/drive_c/installed.txt"\n' \
  >"${work}/installer/corvane/setup.exe"
printf '<?xml version="1.0" encoding="utf-8"?>\r\n<checkitems base="%s/">\r\n  <item name="c" type="SafeActiveX">\r\n    <detect type="clsid">{6C1E0C52-7D4B-4B8A-9A43-2F3A1D0E5B12}</detect>\r\n    <installer command="%%1 /verysilent" md5="%s">setup.exe</installer>\r\n  </item>\r\n  <appinfo version="1.0.0.0"/>\r\n</checkitems>\r\n' \
  "${https_base}" "$(md5sum "${work}/installer/corvane/setup.exe" | cut -c1-32)" \
  >"${work}/installer/perbank/download/818/item.xml"

faults=(not-found cut-short length-too-long length-too-short chunked-cut-short stall silent
  reset redirect-to-http untrusted wrong-name)

# case PHASE FAULT: a new machine, the server with FAULT on the phase's download, one run.
case_run() {
  local phase="$1" fault="$2" name="$1-$2" path files=() doing=() started status=0
  local machine="${work}/${name}"
  case "${phase}" in
    config) path="${config_path}" files=(--files "${work}/config") ;;
    update) path=/corvane/Corvane.exe files=(--files "${work}/update") ;;
    installer) path=/corvane/setup.exe files=(--files "${work}/installer") doing=(--do "install(1)") ;;
  esac
  local fault_args=(--fault "${path}=${fault}")
  # The bank's own host presenting a bad certificate, rather than a redirect to one.
  if [[ "${phase}" == config && "${fault}" =~ ^(untrusted|wrong-name)$ ]]; then
    fault_args=(--certificate "${fault}")
  fi
  bank_server_start "${work}/${name}.server" "${bank_server}" --machine "${machine}" \
    "${files[@]}" "${fault_args[@]}" "${timeouts[@]}" || fail "${name}: no bank server"
  started=${SECONDS}
  (cd "${work}/cwd" && timeout --kill-after=5 "${run_bound_s}" "${program}" \
    --machine "${machine}" --ui none --exit-when-idle --answer consent \
    --transcript "${work}/${name}.jsonl" "${doing[@]}" >"${work}/${name}.out" 2>&1) ||
    status=$?
  bank_server_stop
  [[ ${status} -ne 124 && ${status} -ne 137 ]] || fail "${name}: still running after ${run_bound_s}s"
  [[ ${status} -eq 0 ]] || fail "${name}: the program failed (${status}): $(tail -3 "${work}/${name}.out")"
  echo "${name}: $((SECONDS - started))s"
  check_"${phase}" "${name}" "${machine}" "${fault}"
}

has() { grep -q -- "$2" "${work}/$1.jsonl"; }
program_folder() { echo "$1/drive_c/Program Files (x86)/Marrowby/Corvane"; }
# Files of the download folder (DownTmp in the user's temporary folder), and temporaries.
downloads() { find "$1/drive_c" -ipath '*/DownTmp/*' -type f; }

check_config() {
  local name="$1" machine="$2"
  has "${name}" '"prompt":"info","ids":\[155,146\]' || fail "${name}: no prompt 155/146"
  has "${name}" '"args":\[0,3,3\]' || fail "${name}: the built-in copy was not used"
  [[ ! -e "$(program_folder "${machine}")/item.xml" ]] || fail "${name}: a local copy was kept"
}

check_update() {
  local name="$1" machine="$2" fault="$3"
  has "${name}" '"prompt"' && fail "${name}: a prompt was shown"
  has "${name}" '"args":\[0,2,1999\]' || fail "${name}: the checks did not run"
  cmp -s "$(program_folder "${machine}")/corvane.exe" "${work}/v1.exe" ||
    fail "${name}: the program file changed"
  # A short Content-Length makes a short body that is complete to any client; its digest
  # differs from appinfo's, so it is never used. Every other fault leaves nothing.
  if [[ "${fault}" != length-too-short && -n "$(downloads "${machine}")" ]]; then
    fail "${name}: a download was kept: $(downloads "${machine}")"
  fi
}

check_installer() {
  local name="$1" machine="$2"
  has "${name}" '"args":\[0,2,2\]' || fail "${name}: no 正在下载"
  has "${name}" '"prompt":"choice","ids":\[145,146,147\]' || fail "${name}: no prompt 145/146/147"
  has "${name}" '"args":\[0,2,3\]' && fail "${name}: the installer was run"
  [[ ! -e "${machine}/drive_c/installed.txt" ]] || fail "${name}: the installer changed the machine"
  [[ -z "$(downloads "${machine}")" ]] || fail "${name}: a download was kept: $(downloads "${machine}")"
}

for phase in config update installer; do
  for fault in "${faults[@]}"; do
    case_run "${phase}" "${fault}"
  done
done
echo "network_faults_end_to_end: ${#faults[@]} faults at the configuration, update and installer downloads checked"
