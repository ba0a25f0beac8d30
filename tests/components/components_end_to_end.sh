#!/usr/bin/env bash
# Components as a new user meets them, on a scratch emulated PC with corvane-bank-server:
#   1. the bank's configuration with no component installed: every row "未安装" with its
#      install button (value 5, no 7 after it);
#   2. the server serves an installer whose bytes differ from the md5 the configuration gives:
#      install(1) shows 正在下载 and asks "下载失败，是否继续下一个"; nothing is run or kept;
#   3. the same installer with its right md5: 正在下载, 正在安装, 安装完毕, the installer (a #!
#      script) ran on the emulated PC, placed its control and registered its class with
#      corvane-machine while corvane ran, and row 1 is detected again by that class; the
#      registry changes corvane made afterwards kept the installer's;
#   4. the server gone: the local copy is used, the rows show no install button and
#      install(0) queues nothing.
#   5. corvane-machine refuses to register a class whose file is not on the machine.
#   components_end_to_end.sh WORKDIR PROGRAM BANK_SERVER MACHINE_TOOL
set -euo pipefail
work="$(realpath -m "$1")"
program="$(realpath "$2")"
bank_server="$(realpath "$3")"
machine_tool="$(realpath "$4")"
source "$(dirname "${BASH_SOURCE[0]}")/../fixtures/e2e_common.sh"
fresh_work files/perbank/download/818 files/corvane cwd
private_runtime_dir
machine="${work}/machine"
use_bank_server
run() {  # run NAME [--do CMD]...: transcript in NAME.jsonl
  local name="$1"
  shift
  (cd "${work}/cwd" && "${program}" --machine "${machine}" --ui none --exit-when-idle \
    --answer consent --transcript "${work}/${name}.jsonl" "$@" >"${work}/${name}.out" 2>&1) ||
    fail "${name}: the program failed: $(tail -3 "${work}/${name}.out")"
}
has() { grep -q -- "$2" "${work}/$1.jsonl"; }

installer="${work}/files/corvane/setup.exe"
clsid='{6C1E0C52-7D4B-4B8A-9A43-2F3A1D0E5B11}'
cat >"${installer}" <<EOF
#!/bin/sh
set -e
corvane-machine put-file "\$0" 'C:\Program Files\Bank\control.ocx'
corvane-machine register-class '${clsid}' 'C:\Program Files\Bank\control.ocx'
corvane-machine reg-set 'HKCU\Software\Bank\Control' Installed dword 1
echo "\$@" > "\$CORVANE_MACHINE/drive_c/installed.txt"
EOF
serve_config() {  # serve_config MD5
  printf '<?xml version="1.0" encoding="utf-8"?>\r\n<checkitems base="http://update.marrowby.example/corvane/">\r\n  <item name="c" type="SafeActiveX">\r\n    <detect type="clsid">%s</detect>\r\n    <installer command="%%1 /verysilent" md5="%s">setup.exe</installer>\r\n  </item>\r\n  <appinfo version="1.0.0.0" remote="http://update.marrowby.example/corvane/Corvane.exe"/>\r\n</checkitems>\r\n' "${clsid}" "$1" >"${work}/files/perbank/download/818/item.xml"
}

# The installers run confined and call the machine's own corvane-machine: no settings
# needed for it.
mkdir -p "${machine}"

bank_server_start "${work}/server.out" "${bank_server}" --machine "${machine}" || fail "no bank server"

# 1. The built-in configuration served by the bank: four rows to install.
run served
for row in 1 2 3 4; do
  has served "\"args\":\[2,${row},5\]" || fail "served: row ${row} is not offered for installation"
  has served "\"args\":\[2,${row},7\]" && fail "served: row ${row} lost its install button"
done

restart_server() {  # the server reads its files when it starts
  bank_server_stop
  bank_server_start "${work}/server.out" "${bank_server}" --machine "${machine}" \
    --files "${work}/files" || fail "no bank server"
}

# 2. A served installer that is not the configured one.
serve_config 00000000000000000000000000000000
restart_server
run mismatch --do "install(1)"
has mismatch '"args":\[0,2,2\]' || fail "mismatch: no 正在下载"
has mismatch '"prompt":"choice","ids":\[145,146,147\]' || fail "mismatch: no prompt 145/146"
has mismatch '"args":\[0,2,3\]' && fail "mismatch: the installer was run"
[[ ! -e "${machine}/drive_c/installed.txt" ]] || fail "mismatch: the machine changed"
find "${machine}/drive_c" -iname setup.exe | grep -q . && fail "mismatch: the download was kept"

# 3. The right digest: installed, and row 1 detected again.
serve_config "$(md5sum "${installer}" | cut -c1-32)"
restart_server
run install --do "install(1)"
has install '"args":\[0,2,2\]' || fail "install: no 正在下载"
has install '"args":\[0,2,3\]' || fail "install: no 正在安装"
has install '"args":\[0,2,1\]' || fail "install: no 安装完毕"
has install '"prompt"' && fail "install: a prompt was shown"
[[ "$(cat "${machine}/drive_c/installed.txt")" == "/verysilent" ]] || fail "install: the installer did not run"
[[ "$(grep -c '"args":\[2,1,0\]' "${work}/install.jsonl")" -ge 1 ]] || fail "install: row 1 not installed afterwards"
tool() { "${machine_tool}" --machine "${machine}" "$@"; }
[[ "$(tool reg-get "HKCR\\CLSID\\${clsid}\\InprocServer32" @)" == 'C:\Program Files\Bank\control.ocx' ]] ||
  fail "install: the class registration was lost"
[[ "$(tool reg-get 'HKCU\Software\Bank\Control' Installed)" == 1 ]] ||
  fail "install: the installer's registry value was lost"
cmp -s "${installer}" "${machine}/drive_c/Program Files/Bank/control.ocx" || fail "install: no control placed"

# 4. Without the server: the local copy, no install buttons, install(0) does nothing.
rm "${machine}/drive_c/installed.txt"
tool reg-delete "HKCR\\CLSID\\${clsid}\\InprocServer32"
bank_server_stop
run local --do "install(0)"
has local '"args":\[2,1,7\]' || fail "local: row 1 still offers an install"
has local '"args":\[0,2,2\]' && fail "local: install(0) downloaded"

# 5. A class whose file is not on the machine is not registered.
tool register-class '{00000000-0000-0000-0000-000000000001}' 'C:\missing.ocx' 2>/dev/null &&
  fail "register-class accepted a missing file"
tool reg-get 'HKCR\CLSID\{00000000-0000-0000-0000-000000000001}\InprocServer32' @ >/dev/null &&
  fail "register-class registered a missing file"
echo "components_end_to_end: rows, md5 refusal, installation, the local copy and corvane-machine checked"
