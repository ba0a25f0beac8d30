#!/usr/bin/env bash
# Same answers as Windows: the Windows program runs its check sequence in a scratch Wine
# prefix, the Windows corvane-machine.exe snapshots that prefix, and the Linux program runs on
# the snapshot. Every page call must be the same, in order (times aside), and the prompts the
# same; for the prefix as Wine makes it and for a broken state (a hosts line, a registry
# policy, zone levels). Wine starts are few: each costs seconds.
#   differential_wine.sh WORKDIR WIN_PROGRAM WIN_TOOL LINUX_PROGRAM BANK_HOST POLICY_CA RUNNER...
set -euo pipefail
work="$1"
win_program="$2"
win_tool="$3"
linux_program="$4"
bank_host="$5"
policy_ca="$6"
runner=("${@:7}")
if [[ ! -x "${linux_program}" ]]; then
  echo "differential_wine: ${linux_program} is not built (build the linux preset first)" >&2
  exit 77
fi
source "$(dirname "${BASH_SOURCE[0]}")/../fixtures/e2e_common.sh"
fresh_work
scratch_wine_prefix -k
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
# The page calls of a transcript, in order, without their times.
page_calls() { tr -d '\r' <"$1" | grep '"call":' | sed -E 's/^\{"t":[0-9]+,/{/'; }
# Its prompts, sorted: the configuration worker's prompt races the dialog's first calls, on
# Windows as here, so only which prompts came and how they were answered is compared.
prompts() { tr -d '\r' <"$1" | grep '"prompt":' | sed -E 's/^\{"t":[0-9]+,/{/' | sort; }

# Registry changes go in with one regedit start. Wine's prefix keeps Internet Explorer's key
# only in the 64-bit view; a real 64-bit Windows has it in both, and the shipping 32-bit
# program, which the emulated PC runs, reads the 32-bit one. The x64 program under Wine reads
# the 64-bit one: both views get the same version.
regedit() {
  printf 'Windows Registry Editor Version 5.00\r\n\r\n%s' "$1" >"${work}/change.reg"
  "${runner[@]}" regedit /s "$(windows_path "${work}/change.reg")" >/dev/null 2>&1 ||
    fail "regedit failed"
}
ie='"Version"="9.11.9600.18376"\r\n"svcVersion"="11.0.9600.18376"\r\n'
regedit "$(printf "[HKEY_LOCAL_MACHINE\\\\Software\\\\Microsoft\\\\Internet Explorer]\r\n${ie}\r\n[HKEY_LOCAL_MACHINE\\\\Software\\\\Wow6432Node\\\\Microsoft\\\\Internet Explorer]\r\n${ie}")"

compare_state() {
  local name="$1"
  "${runner[@]}" "${win_program}" --ui none --exit-when-idle --answer refuse \
    --transcript "$(windows_path "${work}/${name}-windows.jsonl")" >"${work}/${name}-windows.out" 2>&1 ||
    fail "${name}: the Windows program failed: $(tail -5 "${work}/${name}-windows.out")"
  "${runner[@]}" "${win_tool}" snapshot "$(windows_path "${work}/${name}-snapshot")" \
    >"${work}/${name}-snapshot.out" 2>&1 ||
    fail "${name}: the snapshot failed: $(tail -5 "${work}/${name}-snapshot.out")"
  "${linux_program}" --machine "${work}/${name}-snapshot" --ui none --exit-when-idle \
    --answer refuse --transcript "${work}/${name}-linux.jsonl" >"${work}/${name}-linux.out" 2>&1 ||
    fail "${name}: the Linux program failed: $(tail -5 "${work}/${name}-linux.out")"
  page_calls "${work}/${name}-windows.jsonl" >"${work}/${name}-windows.calls"
  page_calls "${work}/${name}-linux.jsonl" >"${work}/${name}-linux.calls"
  [[ -s "${work}/${name}-windows.calls" ]] || fail "${name}: no page calls from Windows"
  diff "${work}/${name}-windows.calls" "${work}/${name}-linux.calls" >"${work}/${name}.diff" ||
    fail "${name}: the page calls differ (< Windows, > Linux on the snapshot):
$(head -20 "${work}/${name}.diff")"
  diff <(prompts "${work}/${name}-windows.jsonl") <(prompts "${work}/${name}-linux.jsonl") ||
    fail "${name}: the prompts differ"
}

compare_state default

# Broken: the one-click setup first (compatibility list, zones, trusted sites, the
# certificates; Wine adds root certificates without asking), then the bank's host sent
# elsewhere, the registry tools disabled, the Internet zone at Low, Trusted sites at High and
# "CFCA Policy CA" taken out of the user's "CA" store (Wine keeps it in the registry).
"${runner[@]}" "${win_program}" --ui none --exit-when-idle --answer consent --do 'fix(0)' \
  --transcript "$(windows_path "${work}/setup.jsonl")" >"${work}/setup.out" 2>&1 ||
  fail "setup: the Windows program failed: $(tail -5 "${work}/setup.out")"
# The last report of item N in a transcript.
last_report() { tr -d '\r' <"$1" | grep -oE "\"setState\",\"args\":\\[1,$2,[01]\\]" | tail -1 | grep -oE '[01]\]$' | tr -d ']'; }
for item in 2 4 10; do
  [[ "$(last_report "${work}/setup.jsonl" "${item}")" == 0 ]] || fail "setup: item ${item} not repaired"
done
printf '127.0.0.1 %s # test\r\n' "${bank_host}" >>"${WINEPREFIX}/drive_c/windows/system32/drivers/etc/hosts"
zones='HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Zones'
thumb="$(sha1sum "${policy_ca}" | cut -d' ' -f1 | tr 'a-f' 'A-F')"
regedit "$(printf '[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System]\r\n"Disableregistrytools"=dword:00000001\r\n\r\n[%s\\3]\r\n"CurrentLevel"=dword:00010000\r\n\r\n[%s\\2]\r\n"CurrentLevel"=dword:00012000\r\n\r\n[-HKEY_CURRENT_USER\\Software\\Microsoft\\SystemCertificates\\CA\\Certificates\\%s]\r\n' "${zones}" "${zones}" "${thumb}")"
compare_state broken
for item in 2 3 4 10; do
  [[ "$(last_report "${work}/broken-windows.jsonl" "${item}")" == 1 ]] || fail "broken: item ${item} did not fail"
done
! diff -q "${work}/default-windows.calls" "${work}/broken-windows.calls" >/dev/null ||
  fail "broken: the broken state answers as the default one"
echo "differential_wine: the Linux program on the snapshots answers as the Windows program"
