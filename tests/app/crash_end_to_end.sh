#!/usr/bin/env bash
# The program killed (SIGKILL) at random moments on the emulated PC, and the machine judged
# after each kill:
#   repairs     fix(0) on a broken PC (hosts line, home-page policy, registry, zones,
#               certificates): every hive still reads, the hosts file is the old or the new
#               one, and a next run repairs the PC to the same results as a run never killed;
#   self-update the download, replacement and restart of the program: the program file is the
#               old or the new executable (never missing, never a part), no half-downloaded
#               file stands in a place where it is taken for whole, and a next run ends with
#               the new program and its checks.
# Kills happen in parallel on separate machines; their moments are spread over the span of a
# run never killed, most of them over the part where the PC is written.
#   crash_end_to_end.sh WORKDIR PROGRAM BANK_SERVER MACHINE_TOOL BANK_HOST
# CORVANE_CRASH_KILLS (default 24) kills per kind; CORVANE_CRASH_PARALLEL (default 6) at once.
set -euo pipefail
work="$(realpath -m "$1")"
program="$(realpath "$2")"
bank_server="$(realpath "$3")"
machine_tool="$(realpath "$4")"
bank_host="$5"
kills="${CORVANE_CRASH_KILLS:-24}"
parallel="${CORVANE_CRASH_PARALLEL:-6}"
source "$(dirname "${BASH_SOURCE[0]}")/../fixtures/e2e_common.sh"
fresh_work
use_bank_server
cleanup() {
  bank_server_stop
  pkill -9 -f -- "${work}/" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT

hosts_of() { echo "$1/drive_c/Windows/System32/drivers/etc/hosts"; }
program_file() { echo "$1/drive_c/Program Files (x86)/Marrowby/Corvane/corvane.exe"; }
now_ms() { date +%s%3N; }

# run MACHINE NAME [OPTIONS...]: one run to its end; fails the test unless it ends well.
run() {
  local machine="$1" name="$2"
  shift 2
  "${program}" --machine "${machine}" --ui none --exit-when-idle --answer consent \
    --transcript "${machine}.${name}.jsonl" "$@" >"${machine}.${name}.out" 2>&1 ||
    fail "${machine##*/} ${name}: the program failed: $(tail -3 "${machine}.${name}.out")"
}

# The last report of every item of a transcript, as "item=result ...".
final_items() {
  grep -oE '"setState","args":\[1,[0-9]+,[01]\]' "$1" | grep -oE '[0-9]+,[01]' |
    awk -F, '{last[$1] = $2} END {for (i in last) print i "=" last[i]}' | sort -n | tr '\n' ' '
}

# Waits until no process of the machine is left (a restarted instance outlives its parent).
# A restarted instance may wait up to 30 s for its predecessor's image and then runs a whole
# check, slowly under a sanitizer on a loaded machine: only a run past 2 minutes is a hang.
wait_machine_idle() {
  local machine="$1"
  for _ in $(seq 1 1200); do
    pgrep -f -- "--machine ${machine}( |$)" >/dev/null || return 0
    sleep 0.1
  done
  fail "${machine##*/}: the program did not end: $(pgrep -a -f -- "--machine ${machine}( |$)" | cut -c1-300)"
}

# kill_at MACHINE MS [OPTIONS...]: starts a run and kills every process of the machine MS
# milliseconds later (the run may have ended by then: a kill after the end is a run whole).
kill_at() {
  local machine="$1" delay="$2"
  shift 2
  "${program}" --machine "${machine}" --ui none --exit-when-idle --answer consent \
    --transcript "${machine}.killed.jsonl" "$@" >"${machine}.killed.out" 2>&1 &
  local pid=$!
  sleep "$(awk -v ms="${delay}" 'BEGIN {printf "%.3f", ms / 1000}')"
  # Whether the kill met a running program, for the count of runs really cut short.
  if pkill -9 -f -- "--machine ${machine}( |$)"; then touch "${machine}.cut"; fi
  wait "${pid}" 2>/dev/null || true
  wait_machine_idle "${machine}"
}

# A moment for a kill: a quarter anywhere in the run, [0, ALL], the rest in [FROM, END].
moment() {
  local from="$1" end="$2" all="$3"
  if ((RANDOM % 4 == 0)); then
    from=0
    end="${all}"
  fi
  echo $((from + (RANDOM * 32768 + RANDOM) % (end - from + 1)))
}

# cycles KIND GOLDEN FROM END ALL JUDGE [OPTIONS...]: $kills copies of GOLDEN, each run with
# OPTIONS and killed at a moment; JUDGE MACHINE then judges each, $parallel at a time.
cycles() {
  local kind="$1" golden="$2" from="$3" end="$4" all="$5" judge="$6"
  shift 6
  local i j machine pid status cut=0
  for ((i = 1; i <= kills; i += parallel)); do
    local -a batch=() pids=()
    for ((j = i; j < i + parallel && j <= kills; ++j)); do
      machine="${work}/${kind}-${j}"
      cp -a "${golden}" "${machine}"
      batch+=("${machine}")
      # Its own error file: bash reports each killed job on standard error.
      kill_at "${machine}" "$(moment "${from}" "${end}" "${all}")" "$@" 2>"${machine}.kill.err" &
      pids+=($!)
    done
    status=0
    for pid in "${pids[@]}"; do wait "${pid}" || status=1; done
    ((status == 0)) || fail "${kind}: a killed run did not end: $(cat "${batch[@]/%/.kill.err}")"
    for machine in "${batch[@]}"; do [[ -e "${machine}.cut" ]] && cut=$((cut + 1)); done
    pids=()
    for machine in "${batch[@]}"; do
      "${judge}" "${machine}" &
      pids+=($!)
    done
    for pid in "${pids[@]}"; do wait "${pid}" || status=1; done
    ((status == 0)) || fail "${kind}: a killed machine was judged broken (see above)"
    for machine in "${batch[@]}"; do rm -rf "${machine}" "${machine}".*; done
  done
  echo "crash_end_to_end: ${kind}: ${kills} kills judged, ${cut} of them cut a run short"
}

# --- Repairs -----------------------------------------------------------------------------
golden="${work}/repair-golden"
"${machine_tool}" --machine "${golden}" show >/dev/null
mkdir -p "$(dirname "$(hosts_of "${golden}")")"
printf '127.0.0.1 localhost\r\n# kept\r\n127.0.0.1 %s\r\n' "${bank_host}" >"$(hosts_of "${golden}")"
"${machine_tool}" --machine "${golden}" reg-set \
  'HKCU\Software\Policies\Microsoft\Internet Explorer\Control Panel' HomePage dword 1

# A run never killed: the results every killed machine must reach, and the span of the run.
calibration="${work}/repair-calibration"
cp -a "${golden}" "${calibration}"
start="$(now_ms)"
run "${calibration}" fix --do 'fix(0)'
repair_end=$(($(now_ms) - start))
repair_from="$(grep -m1 -oE '"t":[0-9]+,"external":"fix"' "${calibration}.fix.jsonl" |
  grep -oE '[0-9]+' | head -1)"
repaired_items="$(final_items "${calibration}.fix.jsonl")"
cmp -s "$(hosts_of "${golden}")" "$(hosts_of "${calibration}")" &&
  fail "the repair did not change the hosts file"
[[ "${repaired_items}" == *"3=0"* ]] || fail "the repair did not repair item 3: ${repaired_items}"

judge_repair() {
  local machine="$1" hosts
  hosts="$(hosts_of "${machine}")"
  "${machine_tool}" --machine "${machine}" show >"${machine}.show" 2>&1 ||
    { echo "${machine##*/}: the machine does not read whole: $(cat "${machine}.show")" >&2; return 1; }
  cmp -s "${hosts}" "$(hosts_of "${golden}")" || cmp -s "${hosts}" "$(hosts_of "${calibration}")" ||
    { echo "${machine##*/}: the hosts file is neither the old nor the new one" >&2; return 1; }
  run "${machine}" again --do 'fix(0)'
  local items
  items="$(final_items "${machine}.again.jsonl")"
  [[ "${items}" == "${repaired_items}" ]] ||
    { echo "${machine##*/}: after the kill the repair ends with ${items}, not ${repaired_items}" >&2; return 1; }
  cmp -s "${hosts}" "$(hosts_of "${calibration}")" ||
    { echo "${machine##*/}: the next repair left another hosts file" >&2; return 1; }
}
cycles repair "${golden}" "$((repair_from - 100))" "${repair_end}" "${repair_end}" judge_repair \
  --do 'fix(0)'

# --- Self-update -------------------------------------------------------------------------
files="${work}/files"
mkdir -p "${files}/perbank/download/818" "${files}/corvane"
"${machine_tool}" program-image 2.0.0.0 "${files}/corvane/Corvane.exe"
"${machine_tool}" program-image 1.0.0.0 "${work}/v1.exe"
new_md5="$(md5sum "${files}/corvane/Corvane.exe" | cut -c1-32)"
printf '<?xml version="1.0" encoding="utf-8"?>\r\n<checkitems>\r\n  <appinfo version="2.0.0.0" md5="%s" remote="http://update.marrowby.example/corvane/Corvane.exe"/>\r\n</checkitems>\r\n' \
  "${new_md5}" >"${files}/perbank/download/818/item.xml"
golden="${work}/update-golden"
"${machine_tool}" --machine "${golden}" show >/dev/null
# The old program is installed before it first runs, as on a customer's PC; otherwise a kill
# before the first start placed it would leave no program file at all.
mkdir -p "$(dirname "$(program_file "${golden}")")"
cp "${work}/v1.exe" "$(program_file "${golden}")"
# One server for every copy: its address is in the machine's network settings, which each copy
# takes along.
bank_server_start "${work}/server.out" "${bank_server}" --machine "${golden}" --files "${files}" ||
  fail "no bank server"

# run_updated MACHINE NAME: a run that may restart itself; waits for the restarted instance.
run_updated() {
  run "$@"
  wait_machine_idle "$1"
}
calibration="${work}/update-calibration"
cp -a "${golden}" "${calibration}"
start="$(now_ms)"
run_updated "${calibration}" update
update_end=$(($(now_ms) - start))
cmp -s "$(program_file "${calibration}")" "${files}/corvane/Corvane.exe" ||
  fail "the update did not replace the program file"
# The download, the replacement and the restart follow the answer to the update's question
# within a few hundred milliseconds.
update_from="$(grep -m1 -oE '"t":[0-9]+,"prompt":"choice","ids":\[139' \
  "${calibration}.update.jsonl" | grep -oE '[0-9]+' | head -1)"

judge_update() {
  local machine="$1" file
  file="$(program_file "${machine}")"
  "${machine_tool}" --machine "${machine}" show >"${machine}.show" 2>&1 ||
    { echo "${machine##*/}: the machine does not read whole: $(cat "${machine}.show")" >&2; return 1; }
  cmp -s "${file}" "${work}/v1.exe" || cmp -s "${file}" "${files}/corvane/Corvane.exe" ||
    { echo "${machine##*/}: the program file is neither the old nor the new one ($(ls -la "$(dirname "${file}")"))" >&2; return 1; }
  run_updated "${machine}" again
  cmp -s "${file}" "${files}/corvane/Corvane.exe" ||
    { echo "${machine##*/}: the next run did not end with the new program" >&2; return 1; }
  grep -q '"args":\[0,2,1999\]' "${machine}.again.jsonl" ||
    { echo "${machine##*/}: the next run did not run the checks" >&2; return 1; }
}
cycles update "${golden}" "$((update_from - 20))" "$((update_from + 400))" "${update_end}" \
  judge_update
