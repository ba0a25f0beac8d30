#!/usr/bin/env bash
# The self-update of the Windows program under Wine: a copy of the program (version 1.0.0.0)
# finds the configuration announcing 2.0.0.0 with the md5 of a build made with
# -DCORVANE_PROGRAM_VERSION=2.0.0.0, downloads it from the local bank server on 127.0.0.1,
# asks 139/142/143, replaces its own executable and restarts with "/update"; the restarted
# process is the new build. Wine resolves no bank name here, so the configuration is the
# local copy in the working directory (written, scrambled, by a run of the Linux program
# against the same server) and appinfo names the server by address.
#   update_wine_end_to_end.sh WORKDIR OLD_EXE NEW_EXE LINUX_PROGRAM BANK_SERVER RUNNER...
set -euo pipefail
work="$(realpath -m "$1")"
old_exe="$(realpath "$2")"
new_exe="$(realpath "$3")"
linux_program="$(realpath "$4")"
bank_server="$(realpath "$5")"
runner=("${@:6}")
source "$(dirname "${BASH_SOURCE[0]}")/../fixtures/e2e_common.sh"
fresh_work files/perbank/download/818 files/corvane app cwd
use_bank_server

cp "${new_exe}" "${work}/files/corvane/Corvane.exe"
cp "${old_exe}" "${work}/app/corvane.exe"
new_md5="$(md5sum "${new_exe}" | cut -c1-32)"
port=$((20000 + RANDOM % 20000))
printf '<?xml version="1.0" encoding="utf-8"?>\r\n<checkitems>\r\n  <appinfo version="2.0.0.0" md5="%s" remote="http://127.0.0.1:%s/corvane/Corvane.exe"/>\r\n</checkitems>\r\n' \
  "${new_md5}" "${port}" >"${work}/files/perbank/download/818/item.xml"

bank_server_start "${work}/server.out" "${bank_server}" \
  --machine "${work}/machine" --files "${work}/files" --plain-port "${port}" ||
  fail "no bank server"

# The local copy of that configuration, as the program keeps it (refusing the update there).
"${linux_program}" --machine "${work}/machine" --ui none --exit-when-idle --answer refuse \
  >"${work}/linux.out" 2>&1 || fail "the Linux program failed: $(tail -3 "${work}/linux.out")"
cp "${work}/machine/drive_c/Program Files (x86)/Marrowby/Corvane/item.xml" "${work}/cwd/item.xml"

transcript="${work}/t.jsonl"
(cd "${work}/cwd" && "${runner[@]}" "${work}/app/corvane.exe" --ui none --exit-when-idle \
  --transcript "${transcript}" >"${work}/wine.out" 2>&1) ||
  fail "the program failed: $(tail -3 "${work}/wine.out")"
for _ in $(seq 1 600); do
  grep -q '"args":\[0,2,1999\]' "${transcript}" 2>/dev/null && break
  sleep 0.1
done
tr -d '\r' <"${transcript}" >"${work}/t-lf.jsonl"
grep -q '"prompt":"choice","ids":\[139,142,143\],"answer":6' "${work}/t-lf.jsonl" ||
  fail "not asked 139/142/143: $(grep prompt "${work}/t-lf.jsonl" || true)"
grep -q '"start":"/update".*"programVersion":"2.0.0.0"' "${work}/t-lf.jsonl" ||
  fail "the restarted process is not 2.0.0.0: $(grep start "${work}/t-lf.jsonl" || true)"
grep -q '"args":\[0,2,1999\]' "${work}/t-lf.jsonl" || fail "the restarted process ran no checks"
cmp -s "${work}/app/corvane.exe" "${new_exe}" || fail "the executable is not the new build"
[[ ! -e "${work}/app/corvane.exe.old" ]] || fail "the .old file is still there"
# Which way Wine went: it refuses to delete or overwrite a running executable as Windows does,
# so the old one was renamed to ".old", the new one copied in, and the ".old" file, still
# the running image, registered for deletion at the next restart (then deleted by the new
# instance). The registration is taken out again: the prefix is shared by the tests.
session='HKLM\System\CurrentControlSet\Control\Session Manager'
# Wine's launcher now and then fails to start reg.exe on a loaded machine ("ShellExecuteEx
# failed: Internal error"): that start is tried again, the value itself is read once.
for _ in 1 2 3; do
  pending="$("${runner[@]}" reg query "${session}" /v PendingFileRenameOperations 2>/dev/null | tr -d '\r' || true)"
  [[ "${pending}" == *ShellExecuteEx* ]] || break
  sleep 1
done
"${runner[@]}" reg delete "${session}" /v PendingFileRenameOperations /f >/dev/null 2>&1 || true
[[ "${pending}" == *'app\corvane.exe.old'* ]] ||
  fail "the old executable was not renamed and registered for deletion: ${pending}"
echo "update_wine_end_to_end: $(grep -o '"start":"/update"[^}]*' "${work}/t-lf.jsonl")"
