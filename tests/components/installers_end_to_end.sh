#!/usr/bin/env bash
# The bank's components installed as a new user installs them: a new emulated PC (the
# default machine settings, in a scratch folder) with corvane-bank-server serving the
# built-in configuration and its installers (scripts that install on the emulated PC):
#   1. an installer whose bytes differ from the md5 the served configuration gives is
#      refused (prompt 145/146) and the machine stays as it was;
#   2. install(1): 正在下载 with progress, 正在安装, 安装完毕, row 1 ends "已安装最新版本"
#      (the control's file and classes on the machine), the other rows still to install;
#   3. installandfix(): every component installed without a failure, and the next start
#      shows all four rows installed;
#   4. the password control disabled in the browser: row 1 "已被禁用"; install(1)
#      re-enables it (its settings key deleted, 设置完毕) and the next start shows it installed.
#   installers_end_to_end.sh WORKDIR PROGRAM BANK_SERVER MACHINE_TOOL
set -euo pipefail
here="$(dirname "${BASH_SOURCE[0]}")"
work="$(realpath -m "$1")"
program="$(realpath "$2")"
bank_server="$(realpath "$3")"
machine_tool="$(realpath "$4")"
source "${here}/../fixtures/e2e_common.sh"
fresh_work tampered/corvane cwd
private_runtime_dir
machine="${work}/machine"
use_bank_server
# The installers run confined and call the machine's own corvane-machine: no settings
# needed for it.
mkdir -p "${machine}"
last_run=""
fail_details() {  # what the last run said, and the installers' errors
  [[ -n "${last_run}" ]] || return 0
  echo "--- ${last_run}: prompts and output"
  grep -o '"prompt":[^}]*' "${work}/${last_run}.jsonl" || true
  tail -20 "${work}/${last_run}.out" || true
  echo "--- what the installers printed"
  tail -20 "${machine}/programs.log" || true
}
run() {  # run NAME [--do CMD]...: transcript in NAME.jsonl
  local name="$1"
  shift
  last_run="${name}"
  (cd "${work}/cwd" && "${program}" --machine "${machine_arg:-${machine}}" --ui none --exit-when-idle \
    --answer consent --transcript "${work}/${name}.jsonl" "$@" >"${work}/${name}.out" 2>&1) ||
    fail "${name}: the program failed: $(tail -3 "${work}/${name}.out")"
}
has() { grep -q -- "$2" "${work}/$1.jsonl"; }
last_row() { grep -o "\"args\":\[2,$2,[0-9]*\]" "${work}/$1.jsonl" | tail -1 | tr -dc '0-9,' | cut -d, -f3; }
tool() { "${machine_tool}" --machine "${machine}" "$@"; }
serve() {  # serve [--files FOLDER]
  bank_server_stop
  bank_server_start "${work}/server.out" "${bank_server}" --machine "${machine}" "$@" ||
    fail "no bank server"
}
# The bank's password control (res/bank.cmake) and where its installer puts it.
safe_clsid="$(sed -n 's/^set(CORVANE_BANK_SAFE_CONTROL_CLSID "\(.*\)")$/\1/p' "${here}/../../res/bank.cmake")"
[[ -n "${safe_clsid}" ]] || fail "no password control in res/bank.cmake"
safe_file='C:\Program Files (x86)\Marrowby\SafeEdit\MrbSafeEdit.ocx'
safe_class="HKCR\\CLSID\\${safe_clsid}\\InprocServer32"
no_failure() {  # no download or installer failure was asked about
  has "$1" '"ids":\[145,' && fail "$1: a download failed: $(grep -m1 '"ids":\[145,' "${work}/$1.jsonl")"
  has "$1" '"ids":\[149,' && fail "$1: an installer could not start"
  return 0
}

# 1. The served installer replaced by other bytes: refused, nothing installed.
printf '#!/bin/sh\necho tampered >"$CORVANE_MACHINE/drive_c/tampered.txt"\n' \
  >"${work}/tampered/corvane/Keyvessel.exe"
serve --files "${work}/tampered"
run tampered --do "install(1)"
has tampered '"args":\[2,1,5\]' || fail "tampered: row 1 is not offered for installation"
has tampered '"args":\[0,2,2\]' || fail "tampered: no 正在下载"
has tampered '"prompt":"choice","ids":\[145,146,147\]' || fail "tampered: no prompt 145/146"
has tampered '"args":\[0,2,3\]' && fail "tampered: the installer was run"
[[ ! -e "${machine}/drive_c/tampered.txt" ]] || fail "tampered: the served file ran"
tool reg-get "${safe_class}" @ >/dev/null && fail "tampered: the control was registered"

# 2. install(1) with the bank's own installer.
serve
run install1 --do "install(1)"
no_failure install1
# The statuses in order; the progress (every 500 ms, the first at 100 for so small a file)
# follows 正在下载, before or after the installer's end.
sed -n '/"args":\[0,2,2\]/,$p' "${work}/install1.jsonl" >"${work}/install1.steps"
grep -q '"args":\[0,1,[0-9]*\]' "${work}/install1.steps" || fail "install1: no progress after 正在下载"
sed -n '/"args":\[0,2,2\]/,/"args":\[0,2,1\]/p' "${work}/install1.jsonl" | grep -q '"args":\[0,2,3\]' ||
  fail "install1: no 正在安装 between 正在下载 and 安装完毕"
has install1 '"args":\[0,2,1\]' || fail "install1: no 安装完毕"
[[ "$(last_row install1 1)" == 0 ]] || fail "install1: row 1 ends in state $(last_row install1 1)"
[[ "$(tool reg-get "${safe_class}" @)" == "${safe_file}" ]] || fail "install1: the control's class is not registered"
[[ -f "${machine}/drive_c/Program Files (x86)/Marrowby/SafeEdit/MrbSafeEdit.ocx" ]] ||
  fail "install1: the control's file is missing"
for row in 2 3 4; do
  [[ "$(last_row install1 "${row}")" == 5 ]] || fail "install1: row ${row} changed ($(last_row install1 "${row}"))"
done

# 3. Everything at once, on the machine named relative to the current directory, then a
# new start.
machine_arg=../machine
run all --do "installandfix()"
machine_arg=""
no_failure all
run after
for row in 1 2 3 4; do
  has after "\"args\":\[2,${row},0\]" || fail "after: row ${row} is not installed"
  [[ "$(grep -c "\"args\":\[2,${row}," "${work}/after.jsonl")" == "$(grep -c "\"args\":\[2,${row},0\]" "${work}/after.jsonl")" ]] ||
    fail "after: row ${row} reported a problem: $(grep -o "\"args\":\[2,${row},[0-9]*\]" "${work}/after.jsonl" | sort -u | tr '\n' ' ')"
done

# 4. The password control disabled in the browser, then re-enabled by its install button.
settings="HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Settings\\${safe_clsid}"
tool reg-set "${settings}" Flags dword 1
run disabled
[[ "$(last_row disabled 1)" == 8 ]] || fail "disabled: row 1 is not 已被禁用 ($(last_row disabled 1))"
run enable --do "install(1)"
has enable '"args":\[0,2,2999\]' || fail "enable: no 设置完毕"
has enable '"args":\[0,2,2\]' && fail "enable: an installed control was downloaded again"
[[ "$(last_row enable 1)" == 0 ]] || fail "enable: row 1 ends in state $(last_row enable 1)"
tool reg-get "${settings}" Flags >/dev/null && fail "enable: the add-on's settings remain"
run enabled
has enabled '"args":\[2,1,8\]' && fail "enabled: row 1 still 已被禁用"
[[ "$(last_row enabled 1)" == 0 ]] || fail "enabled: row 1 is not installed"
echo "installers_end_to_end: refusal, install(1), installandfix() and the disabled control checked"
