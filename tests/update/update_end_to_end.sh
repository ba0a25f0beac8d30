#!/usr/bin/env bash
# The self-update as a user meets it, on a scratch emulated PC with corvane-bank-server:
#   1. appinfo announces 2.0.0.0 with its md5, the server has that executable: the program
#      downloads it, asks 139/142/143, replaces its program file and ends; the new instance
#      starts with "/update", waits for the old one, deletes the ".old" file and runs the
#      checks; the program file is the new one, and the next start finds nothing to update;
#   2. the same with --answer refuse: nothing is replaced and the checks run;
#   3. a served file whose md5 differs from appinfo's: no prompt, nothing replaced, checks run;
#   4. in a terminal, while the question is open another program swaps the downloaded file
#      for a 6.6.6.6 one; consent then leaves the old program in place, starts nothing and
#      runs the checks.
#   update_end_to_end.sh WORKDIR PROGRAM BANK_SERVER MACHINE_TOOL
set -euo pipefail
work="$(realpath -m "$1")"
program="$(realpath "$2")"
bank_server="$(realpath "$3")"
machine_tool="$(realpath "$4")"
source "$(dirname "${BASH_SOURCE[0]}")/../fixtures/e2e_common.sh"
fresh_work files/perbank/download/818 files/corvane
use_bank_server

"${machine_tool}" program-image 2.0.0.0 "${work}/files/corvane/Corvane.exe"
new_md5="$(md5sum "${work}/files/corvane/Corvane.exe" | cut -c1-32)"
announce() {  # announce MD5: appinfo for 2.0.0.0 with that md5
  printf '<?xml version="1.0" encoding="utf-8"?>\r\n<checkitems>\r\n  <appinfo version="2.0.0.0" md5="%s" remote="http://update.marrowby.example/corvane/Corvane.exe"/>\r\n</checkitems>\r\n' \
    "$1" >"${work}/files/perbank/download/818/item.xml"
}

start_server() {  # start_server MACHINE
  bank_server_start "${work}/server.out" "${bank_server}" --machine "$1" --files "${work}/files" ||
    fail "no bank server"
}
stop_server() { bank_server_stop; }

# run NAME MACHINE [OPTIONS...]: one start; with an update the program ends at once and its
# restart carries on the same transcript, so wait for the run's end (status 1999) there.
run() {
  local name="$1" machine="$2"
  shift 2
  "${program}" --machine "${machine}" --ui none --exit-when-idle \
    --transcript "${work}/${name}.jsonl" "$@" >"${work}/${name}.out" 2>&1 ||
    fail "${name}: the program failed: $(tail -3 "${work}/${name}.out")"
  for _ in $(seq 1 300); do
    grep -q '"args":\[0,2,1999\]' "${work}/${name}.jsonl" && break
    sleep 0.1
  done
  # The restarted instance holds the machine until it has ended.
  for _ in $(seq 1 300); do
    [[ -z "$(ls -A "${machine}/locks/images" 2>/dev/null)" ]] && break
    sleep 0.1
  done
  grep -q '"args":\[0,2,1999\]' "${work}/${name}.jsonl" || fail "${name}: the checks did not run"
}
count() { grep -c "$1" "${work}/$2.jsonl" || true; }
program_file() { echo "$1/drive_c/Program Files (x86)/Marrowby/Corvane/corvane.exe"; }

# 1. The update, accepted.
machine="${work}/machine"
announce "${new_md5}"
start_server "${machine}"
run update "${machine}"
[[ "$(count '"prompt":"choice","ids":\[139,142,143\],"answer":6' update)" == 1 ]] ||
  fail "update: not asked 139/142/143 once"
[[ "$(count '"start":"/update"' update)" == 1 ]] || fail "update: no restart with /update"
grep -q '"previousRemains":false,"programVersion":"2.0.0.0"' "${work}/update.jsonl" ||
  fail "update: the restarted program is not 2.0.0.0, or the .old file remained"
cmp -s "$(program_file "${machine}")" "${work}/files/corvane/Corvane.exe" ||
  fail "update: the program file is not the new executable"
[[ ! -e "$(program_file "${machine}").old" ]] || fail "update: the .old file is still there"
# Two page loads (before and after the restart), one check run, by the restarted instance.
[[ "$(count '"args":\[1,8,' update)" == 2 ]] || fail "update: not two instances"
[[ "$(count '"args":\[0,2,1999\]' update)" == 1 ]] || fail "update: the checks ran more than once"
run again "${machine}"
[[ "$(count '"prompt"' again)" == 0 ]] || fail "again: the updated program was offered an update"

# 2. Refused: nothing replaced, the checks run in this instance.
machine="${work}/machine-refuse"
stop_server
start_server "${machine}"
run refuse "${machine}" --answer refuse
[[ "$(count '"ids":\[139,142,143\],"answer":7' refuse)" == 1 ]] || fail "refuse: not refused once"
[[ "$(count '"start":"/update"' refuse)" == 0 ]] || fail "refuse: restarted"
"${machine_tool}" program-image 1.0.0.0 "${work}/v1.exe"
cmp -s "$(program_file "${machine}")" "${work}/v1.exe" || fail "refuse: the program file changed"

# 3. The served file is not the announced one: no prompt, nothing replaced.
machine="${work}/machine-md5"
announce "0123456789abcdef0123456789abcdef"
stop_server
start_server "${machine}"
run md5 "${machine}"
[[ "$(count '"prompt"' md5)" == 0 ]] || fail "md5: prompted for a file that is not the announced one"
cmp -s "$(program_file "${machine}")" "${work}/v1.exe" || fail "md5: the program file changed"

# 4. The download swapped while the question is open.
machine="${work}/machine-swap"
announce "${new_md5}"
stop_server
start_server "${machine}"
"${machine_tool}" program-image 6.6.6.6 "${work}/evil.exe"
socket="corvane-update-$$"
tmux_() { tmux -L "${socket}" -f /dev/null "$@"; }
trap 'bank_server_stop; tmux_ kill-server >/dev/null 2>&1 || true' EXIT
screen() { tmux_ capture-pane -p -t swap; }
fail_details() { echo "--- screen:"; screen || true; }
wait_for() {
  for _ in $(seq 1 300); do
    grep -qE -- "$1" <<<"$(screen)" && return 0
    sleep 0.1
  done
  fail "swap: never shown: $1"
}
tmux_ new-session -d -s swap -x 100 -y 30 -e LANG=C.UTF-8 \
  "'${program}' --machine '${machine}' --transcript '${work}/swap.jsonl'; sleep 30"
wait_for '应用程序有更新'
download="$(find "${machine}/drive_c" -ipath '*/DownTmp/Corvane.exe' | head -n 1)"
[[ -n "${download}" ]] || fail "swap: no download in DownTmp"
cp "${work}/evil.exe" "${download}.swap" && mv "${download}.swap" "${download}"
tmux_ send-keys -t swap 1
wait_for '检测完毕'
[[ "$(count '"start":"/update"' swap)" == 0 ]] || fail "swap: restarted with /update"
cmp -s "$(program_file "${machine}")" "${work}/v1.exe" || fail "swap: the program file changed"
tmux_ send-keys -t swap q
echo "update_end_to_end: accepted, refused, wrong-digest and swapped updates checked"
