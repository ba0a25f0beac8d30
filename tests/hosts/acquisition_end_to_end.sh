#!/usr/bin/env bash
# The configuration's way to the program as a user meets it, on a scratch emulated PC:
#   1. no bank server: the download fails (prompt 155/146) and the built-in copy is used;
#   2. with corvane-bank-server: the server's document is used, no prompt, and it is kept as
#      the hidden, scrambled local copy ./item.xml;
#   3. the server gone: the prompt again, and the local copy is used, not the built-in one.
# The served document has no items, so the result line tells it from the built-in copy (whose
# items are not yet detected): setState(0,3,1) against setState(0,3,3).
#   acquisition_end_to_end.sh WORKDIR PROGRAM BANK_SERVER
set -euo pipefail
work="$(realpath -m "$1")"
program="$(realpath "$2")"
bank_server="$(realpath "$3")"
source "$(dirname "${BASH_SOURCE[0]}")/../fixtures/e2e_common.sh"
fresh_work files/perbank/download/818 cwd
private_runtime_dir
machine="${work}/machine"
use_bank_server

served="${work}/files/perbank/download/818/item.xml"
printf '<?xml version="1.0" encoding="utf-8"?>\r\n<checkitems>\r\n  <appinfo version="1.0.0.0" remote="http://update.marrowby.example/corvane/Corvane.exe"/>\r\n</checkitems>\r\n' >"${served}"

run() {  # run NAME: the program from a scratch working directory, its transcript in NAME.jsonl
  (cd "${work}/cwd" && "${program}" --machine "${machine}" --ui none --exit-when-idle \
    --answer consent --transcript "${work}/$1.jsonl" >"${work}/$1.out" 2>&1) ||
    fail "$1: the program failed: $(tail -3 "${work}/$1.out")"
}
prompted() { grep -q '"prompt":"info","ids":\[155,146\]' "${work}/$1.jsonl"; }
summary() { grep -oE '"args":\[0,3,[0-9]+\]' "${work}/$1.jsonl" | head -1 | grep -oE '[0-9]+\]$' | tr -d ']'; }

# The local copy lives in the emulated PC's current directory, the program's folder.
copy="${machine}/drive_c/Program Files (x86)/Marrowby/Corvane/item.xml"

# 1. Offline from the bank's point of view: its host does not resolve.
run offline-first
prompted offline-first || fail "offline-first: no prompt 155/146"
[[ "$(summary offline-first)" == 3 ]] || fail "offline-first: not the built-in copy ($(summary offline-first))"
[[ ! -e "${copy}" ]] || fail "offline-first: a local copy was written"

# 2. The bank server, pointing the machine at itself.
bank_server_start "${work}/server.out" "${bank_server}" \
  --machine "${machine}" --files "${work}/files" ||
  fail "no bank server"
run online
prompted online && fail "online: prompt 155/146 shown"
[[ "$(summary online)" == 1 ]] || fail "online: not the server's document ($(summary online))"
[[ -f "${copy}" ]] || fail "online: no local copy at ${copy}"
cmp -s "${copy}" "${served}" && fail "online: the local copy is not scrambled"
[[ "$(stat -c %s "${copy}")" == "$(stat -c %s "${served}")" ]] || fail "online: the copy's size differs"
attributes="$(grep -i 'corvane/item\.xml$' "${machine}/drive_c.attributes" | cut -c1-8 || true)"
[[ "${attributes}" == 00000002 ]] || fail "online: the copy's attributes are '${attributes}', not hidden alone"

# 3. The server gone: its port refuses, the download fails, the copy is used.
bank_server_stop
run offline-after
prompted offline-after || fail "offline-after: no prompt 155/146"
[[ "$(summary offline-after)" == 1 ]] || fail "offline-after: not the local copy ($(summary offline-after))"
echo "acquisition_end_to_end: offline, online and cached starts checked"
