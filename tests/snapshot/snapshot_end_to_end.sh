#!/usr/bin/env bash
# A snapshot answers as the PC it was taken from: an emulated PC with changes a customer's PC
# may have (a hosts line, a registry policy, zone levels, a missing certificate, an installed
# and a disabled control, a USB key) is snapshotted with corvane-machine, and the program's
# whole check sequence on the snapshot must make the same page calls as on the original.
#   snapshot_end_to_end.sh WORKDIR PROGRAM MACHINE_TOOL BANK_HOST
set -euo pipefail
work="$1"
program="$2"
tool="$3"
bank_host="$4"
source "$(dirname "${BASH_SOURCE[0]}")/../fixtures/e2e_common.sh"
fresh_work

original="${work}/original"
snapshot="${work}/snapshot"
fresh="${work}/fresh"

run() {
  local machine="$1" name="$2"
  shift 2
  "${program}" --machine "${machine}" --ui none --exit-when-idle --transcript "${work}/${name}.jsonl" \
    "$@" >"${work}/${name}.out" 2>&1 || fail "${name}: the program failed: $(tail -5 "${work}/${name}.out")"
}
# Every page call of a transcript in order, then its prompts sorted (the configuration
# worker's prompt races the dialog's first calls), without times.
calls() {
  tr -d '\r' <"$1" | grep '"call":' | sed -E 's/^\{"t":[0-9]+,/{/'
  tr -d '\r' <"$1" | grep '"prompt":' | sed -E 's/^\{"t":[0-9]+,/{/' | sort
}
tool() { "${tool}" --machine "${original}" "$@" >/dev/null || fail "corvane-machine $*"; }

# The original PC: the root certificates installed, then one intermediate one removed.
run "${original}" setup --answer consent --do 'fix(4)'
ca_files=("${original}"/certs/user/CA/*.cer)
[[ ${#ca_files[@]} -eq 4 ]] || fail "fix(4) did not install four CA certificates"
for file in "${ca_files[@]}"; do
  if openssl x509 -inform der -in "${file}" -noout -subject | grep -q 'Policy CA'; then rm "${file}"; fi
done
printf '127.0.0.1 %s # test\r\n' "${bank_host}" >>"${original}/drive_c/Windows/System32/drivers/etc/hosts"
tool reg-set 'HKCU\SOFTWARE\Microsoft\Windows\CurrentVersion\Policies\System' Disableregistrytools dword 1
zones='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Zones'
tool reg-set "${zones}\\3" CurrentLevel dword 0x10000
tool reg-set "${zones}\\2" CurrentLevel dword 0x12000
# The signing control installed (class and file), the edit control's add-on disabled.
printf 'control' >"${work}/control.dll"
tool put-file "${work}/control.dll" 'C:\Program Files (x86)\Marrowby\SignCtrl\MrbSignCtrl.dll'
tool register-class '{A9E52C35-52B1-4763-9A5F-5E73CFE0EFFF}' 'C:\Program Files (x86)\Marrowby\SignCtrl\MrbSignCtrl.dll'
tool reg-set 'HKCU\Software\Microsoft\Windows\CurrentVersion\Ext\Settings\{9F91FA06-F55E-4D0E-BA7D-EB69097AC55D}' Flags dword 1
printf '096e:0702\n' >"${original}/usb.ini"
# Something the program never reads, which must stay on the PC.
tool reg-set 'HKCU\Software\Other\Account' Password sz not-for-the-snapshot

"${tool}" --machine "${original}" snapshot "${snapshot}" >"${work}/snapshot.out" ||
  fail "snapshot failed: $(cat "${work}/snapshot.out")"
! grep -rq 'not-for-the-snapshot' "${snapshot}" || fail "the snapshot holds a key the program does not read"
[[ ! -e "${snapshot}/network.ini" ]] || fail "the snapshot has network settings"
grep -qx '096e:0702' "${snapshot}/usb.ini" || fail "the USB key is not in the snapshot's usb.ini"
grep -q 'left out: no certificate "CFCA Policy CA"' "${work}/snapshot.out" ||
  fail "the missing certificate is not reported"
# "CFCA Operation CA" is found in "CFCA Operation CA1" too: every match is copied.
for store in ROOT CA; do
  [[ "$(cd "${original}/certs/user/${store}" && md5sum -- * | cut -d' ' -f1 | sort)" == \
     "$(cd "${snapshot}/certs/user/${store}" && md5sum -- * | cut -d' ' -f1 | sort)" ]] ||
    fail "the snapshot's ${store} store differs from the PC's"
done

# A folder that is not empty is refused and left as it was.
mkdir -p "${work}/busy" && echo keep >"${work}/busy/file"
status=0
"${tool}" --machine "${original}" snapshot "${work}/busy" >/dev/null 2>&1 || status=$?
[[ ${status} -eq 1 && "$(ls "${work}/busy")" == file ]] || fail "a non-empty target: status ${status}"

run "${original}" original --answer refuse
run "${snapshot}" on-snapshot --answer refuse
run "${fresh}" fresh --answer refuse
# The prepared state shows: hosts (3), registry (2), zones (10) and certificates (4) failed.
for item in 2 3 4 10; do
  grep -q "\"setState\",\"args\":\\[1,${item},1\\]" "${work}/original.jsonl" ||
    fail "item ${item} did not fail on the prepared PC"
done
! diff -q <(calls "${work}/original.jsonl") <(calls "${work}/fresh.jsonl") >/dev/null ||
  fail "the prepared PC answers as a new one"
diff <(calls "${work}/original.jsonl") <(calls "${work}/on-snapshot.jsonl") >"${work}/calls.diff" ||
  fail "the snapshot answers differently:
$(head -20 "${work}/calls.diff")"
echo "snapshot_end_to_end: the snapshot answers as the PC"
