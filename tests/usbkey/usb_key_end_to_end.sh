#!/usr/bin/env bash
# The key report as a new user meets it, on a scratch emulated PC whose bank serves a
# configuration naming the Feitian adapter for its driver, the driver installed and the
# stand-in vendor library beside the program describing two keys:
#   1. the key attached: serial "ABC" (cut at the backslash), locked (the second key has no
#      PIN retries left), two certificates, the driver version;
#   2. the key unplugged (gone from usb.ini): only the driver version;
#   3. no vendor library: only the clearings.
#   usb_key_end_to_end.sh WORKDIR PROGRAM BANK_SERVER STANDIN_LIBRARY
set -euo pipefail
work="$(realpath -m "$1")"
program="$(realpath "$2")"
bank_server="$(realpath "$3")"
standin="$(realpath "$4")"
source "$(dirname "${BASH_SOURCE[0]}")/../fixtures/e2e_common.sh"
fresh_work files/perbank/download/818 cwd
private_runtime_dir
machine="${work}/machine"
use_bank_server
run() {  # run NAME: transcript in NAME.jsonl
  (cd "${work}/cwd" && "${program}" --machine "${machine}" --ui none --exit-when-idle \
    --transcript "${work}/$1.jsonl" >"${work}/$1.out" 2>&1) ||
    fail "$1: the program failed: $(tail -3 "${work}/$1.out")"
}
key_states() {  # the setState calls of the key rows
  grep '"call":"setState"' "${work}/$1.jsonl" | grep -o '"args":\[80[0-3],[^]]*\]' || true
}

# The driver: one file, and the key's USB id (vendor 0x096e, product 0x0702).
printf '<?xml version="1.0" encoding="utf-8"?>\r\n<checkitems base="http://update.marrowby.example/corvane/">\r\n  <item name="d" type="driver" class="CFeitianUSBKey">\r\n    <detect type="file">C:\\Windows\\System32\\ftdriver.dll</detect>\r\n    <detect type="usbkey">0x096e0702</detect>\r\n  </item>\r\n  <appinfo version="1.0.0.0" remote="http://update.marrowby.example/corvane/Corvane.exe"/>\r\n</checkitems>\r\n' \
  >"${work}/files/perbank/download/818/item.xml"
bank_server_start "${work}/server.out" "${bank_server}" \
  --machine "${machine}" --files "${work}/files" ||
  fail "no bank server"

mkdir -p "${machine}/drive_c/Windows/System32"
: >"${machine}/drive_c/Windows/System32/ftdriver.dll"
folder="${machine}/drive_c/Program Files (x86)/Marrowby/Corvane"
mkdir -p "${folder}"
cp "${standin}" "${folder}/Ftbank_ePass2000Auto.dll"
printf 'version = 2.0.1\n[key]\nserial = ABC\\123\ncerts = Alice;Bob\n[key]\nserial = DEF\npin_retries = 0\n' \
  >"${folder}/Ftbank_ePass2000Auto.keys"
echo '096e:0702' >"${machine}/usb.ini"

run attached
expected='"args":[802,2,"ABC"]
"args":[802,3,0]
"args":[802,4,1]
"args":[802,5,0]
"args":[802,6,2]
"args":[802,7,0]
"args":[802,8,"2.0.1"]'
[[ "$(key_states attached)" == "${expected}" ]] ||
  fail "attached: the key rows are $(key_states attached)"
[[ $(grep -c '"clearState"' "${work}/attached.jsonl" || true) -ge 24 ]] ||
  fail "attached: the rows were not cleared first"

: >"${machine}/usb.ini"
run unplugged
[[ "$(key_states unplugged)" == '"args":[802,8,"2.0.1"]' ]] ||
  fail "unplugged: the key rows are $(key_states unplugged)"

rm "${folder}/Ftbank_ePass2000Auto.dll"
echo '096e:0702' >"${machine}/usb.ini"
run no-library
[[ -z "$(key_states no-library)" ]] || fail "no library: the key rows are $(key_states no-library)"
echo "usb_key_end_to_end: all passed"
