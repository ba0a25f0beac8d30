#!/usr/bin/env bash
# The "登录" link on the emulated PC, as the terminal host shows it: each click starts the
# browser once as the desktop user (recorded in the machine's processes.log and in the
# transcript, with the exact command line) and prints the site's address.
#   site_end_to_end.sh WORKDIR PROGRAM
set -euo pipefail
work="$(realpath -m "$1")"
program="$(realpath "$2")"
source "$(dirname "${BASH_SOURCE[0]}")/../fixtures/e2e_common.sh"
fresh_work
site='http://www.marrowby.example/'
line="\"C:\\Program Files (x86)\\Internet Explorer\\iexplore.exe\"${site}"
"${program}" --machine "${work}/machine" --ui terminal --exit-when-idle --do onOpen --do onOpen \
  --transcript "${work}/t.jsonl" </dev/null >"${work}/out.txt" 2>&1 ||
  fail "the program failed: $(tail -3 "${work}/out.txt")"
[[ "$(cat "${work}/machine/processes.log")" == "${line}"$'\n'"${line}" ]] ||
  fail "processes.log: $(cat "${work}/machine/processes.log")"
json_line="$(printf '%s' "${line}" | sed 's/\\/\\\\/g; s/"/\\"/g')"
[[ "$(grep -cF "\"desktopStart\":\"${json_line}\",\"started\":true" "${work}/t.jsonl")" == 2 ]] ||
  fail "transcript: $(grep desktopStart "${work}/t.jsonl" || true)"
[[ "$(grep -cxF "登录: ${site}" "${work}/out.txt")" == 2 ]] || fail "the address was not printed twice"
echo "site_end_to_end: two clicks, two recorded starts, two printed addresses"
