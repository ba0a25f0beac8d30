#!/usr/bin/env bash
# One program, one emulated PC, many cycles of 重新检测 then 一键设置 (check(1), then fix(0)
# and install(0) as the page sends them) against corvane-bank-server, with the PC changed
# again during each cycle and faults coming and going on the installers' downloads:
#   - every installer, after installing its component, uninstalls the other of the bank's two
#     controls and breaks a setting (in turn: the home-page policy, a hosts line for the
#     bank's site), so each cycle has a repair and a download and installation to do;
#   - the two controls' installers are answered in turn with a whole file, a body cut short,
#     a reset, a wrong length, a 404, a stall and an untrusted certificate.
# Judged: the process's resident size and open descriptors at a cycle early in the run and at
# the last cycle (flat: no leak), every cycle's transcript whole (its check ran to the end,
# its repair and installation were sent), every transcript line a JSON object, and the PC
# still read whole at the end.
#   soak_end_to_end.sh WORKDIR PROGRAM BANK_SERVER MACHINE_TOOL BANK_HOST SAFE_CLSID SIGN_CLSID
# CORVANE_SOAK_CYCLES (default 12) cycles; the figures go to WORKDIR/soak.tsv.
# CORVANE_SOAK_RSS=0 leaves the resident size unjudged (sanitizer builds).
set -euo pipefail
work="$(realpath -m "$1")"
program="$(realpath "$2")"
bank_server="$(realpath "$3")"
machine_tool="$(realpath "$4")"
bank_host="$5"
safe_clsid="$6"
sign_clsid="$7"
cycles="${CORVANE_SOAK_CYCLES:-12}"
# The early sample: past the first cycles, which install everything and fill caches.
early=$((cycles >= 20 ? 10 : 3))
source "$(dirname "${BASH_SOURCE[0]}")/../fixtures/e2e_common.sh"
fresh_work
private_runtime_dir
use_bank_server
program_pid=""
cleanup() {
  [[ -n "${program_pid}" ]] && kill -9 "${program_pid}" 2>/dev/null
  bank_server_stop
  wait 2>/dev/null || true
}
trap cleanup EXIT

machine="${work}/machine"
transcript="${work}/soak.jsonl"
mkdir -p "${machine}"

cat >"${work}/epilogue.sh" <<EOF
# The PC changed again once this component is installed, so the next cycle has work.
turn=\$(cat "\$CORVANE_MACHINE/drive_c/soak-turn" 2>/dev/null || echo 0)
echo \$((turn + 1)) >"\$CORVANE_MACHINE/drive_c/soak-turn"
if grep -q '${safe_clsid}' "\$0"; then other='${sign_clsid}'; else other='${safe_clsid}'; fi
"\$tool" reg-delete "HKCR\\\\CLSID\\\\\$other\\\\InprocServer32" @ >/dev/null 2>&1 || true
"\$tool" reg-delete "HKCR\\\\CLSID\\\\\$other\\\\InprocServer32" >/dev/null 2>&1 || true
if [ \$((turn % 2)) -eq 0 ]; then
  "\$tool" reg-set 'HKCU\\Software\\Policies\\Microsoft\\Internet Explorer\\Control Panel' HomePage dword 1
else
  printf '127.0.0.1 %s\\r\\n' '${bank_host}' >>"\$CORVANE_MACHINE/drive_c/Windows/System32/drivers/etc/hosts"
fi
EOF

# The installers' paths, from a first start of the server.
bank_server_start "${work}/server.out" "${bank_server}" --machine "${machine}" \
  --machine-tool "${machine_tool}" || fail "no bank server"
mapfile -t installers < <(sed -n 's/^  \(\/.*\) (installer)$/\1/p' "${bank_server_log}")
bank_server_stop
((${#installers[@]} > 0)) || fail "the bank server names no installers"
turns="ok,cut-short,ok,reset,ok,length-too-long,ok,not-found,ok,stall,ok,untrusted"
faults=()
for path in "${installers[@]}"; do faults+=(--fault-cycle "${path}=${turns}"); done
bank_server_start "${work}/server.out" "${bank_server}" --machine "${machine}" \
  --machine-tool "${machine_tool}" --installer-epilogue "${work}/epilogue.sh" \
  --receive-ms 2000 "${faults[@]}" || fail "no bank server"

commands=()
for ((i = 0; i < cycles; ++i)); do commands+=(--do 'check(1)' --do 'fix(0)' --do 'install(0)'); done
"${program}" --machine "${machine}" --ui none --exit-when-idle --answer consent \
  --transcript "${transcript}" "${commands[@]}" >"${work}/program.out" 2>&1 &
program_pid=$!

# Samples when cycle N's check has been sent: the resident size (KiB), open descriptors and
# threads of the program itself (its installers are processes of their own).
printf 'cycle\trss_kib\tfds\tthreads\n' >"${work}/soak.tsv"
sample_at=("${early}" "${cycles}")
next=0
while kill -0 "${program_pid}" 2>/dev/null && ((next < ${#sample_at[@]})); do
  started="$(grep -c '"external":"check"' "${transcript}" 2>/dev/null || true)"
  if ((${started:-0} >= sample_at[next])); then
    rss="$(awk '/^VmRSS:/ {print $2}' "/proc/${program_pid}/status" 2>/dev/null || true)"
    # The fewest over two seconds: a check in flight has its workers (the configuration's
    # download and its watchdog, the service probe) for a moment; what leaks stays in every
    # reading.
    fds=""
    threads=""
    for _ in $(seq 1 10); do
      f="$(find "/proc/${program_pid}/fd" -mindepth 1 -maxdepth 1 2>/dev/null | wc -l)"
      t="$(awk '/^Threads:/ {print $2}' "/proc/${program_pid}/status" 2>/dev/null || true)"
      [[ -n "${t}" ]] || break
      ((${fds:-999999} > f)) && fds="${f}"
      ((${threads:-999999} > t)) && threads="${t}"
      sleep 0.2
    done
    [[ -n "${rss}" ]] && printf '%s\t%s\t%s\t%s\n' "${started}" "${rss}" "${fds}" "${threads}" \
      >>"${work}/soak.tsv"
    next=$((next + 1))
  fi
  sleep 0.2
done
status=0
wait "${program_pid}" || status=$?
program_pid=""
((status == 0)) || fail "the program ended with status ${status}: $(tail -5 "${work}/program.out")"

# Every line a JSON object; each cycle's check run to its end, its repair and installation
# sent after it.
python3 - "${transcript}" "${cycles}" <<'EOF' || fail "the transcript is not whole (above)"
import json, sys
path, cycles = sys.argv[1], int(sys.argv[2])
lines = [json.loads(line) for line in open(path, encoding="utf-8") if line.strip()]
starts = [i for i, l in enumerate(lines) if l.get("external") == "check"]
if len(starts) != cycles:
    sys.exit(f"{len(starts)} checks sent, not {cycles}")
for n, start in enumerate(starts):
    end = starts[n + 1] if n + 1 < len(starts) else len(lines)
    cycle = lines[start:end]
    sent = [l.get("external") for l in cycle if "external" in l]
    if sent != ["check", "fix", "install"]:
        sys.exit(f"cycle {n + 1}: sent {sent}")
    fix = next(i for i, l in enumerate(cycle) if l.get("external") == "fix")
    if not any(l.get("call") == "setState" and l.get("args") == [0, 2, 1999]
               for l in cycle[:fix]):
        sys.exit(f"cycle {n + 1}: the check did not run to its end")
EOF

# Work was done: repairs and installations in (nearly) every cycle, faults met on the way.
installs="$(grep -c '"args":\[0,2,1\]' "${transcript}" || true)"
download_failures="$(grep -c '"ids":\[145,' "${transcript}" || true)"
((installs >= cycles / 2)) || fail "only ${installs} installations finished in ${cycles} cycles"
((download_failures > 0)) || fail "no download failed: the faults did not come"
"${machine_tool}" --machine "${machine}" show >"${work}/show.out" 2>&1 ||
  fail "the machine does not read whole after the soak: $(cat "${work}/show.out")"

mapfile -t rows < <(tail -n +2 "${work}/soak.tsv")
((${#rows[@]} == 2)) || fail "missing samples: $(cat "${work}/soak.tsv")"
read -r c1 rss1 fds1 threads1 <<<"${rows[0]}"
read -r c2 rss2 fds2 threads2 <<<"${rows[1]}"
echo "soak_end_to_end: ${cycles} cycles, ${installs} installations, ${download_failures} failed downloads asked about"
echo "soak_end_to_end: cycle ${c1}: ${rss1} KiB resident, ${fds1} descriptors, ${threads1} threads"
echo "soak_end_to_end: cycle ${c2}: ${rss2} KiB resident, ${fds2} descriptors, ${threads2} threads"
((fds2 <= fds1)) || fail "descriptors grew from ${fds1} to ${fds2}"
((threads2 <= threads1)) || fail "threads grew from ${threads1} to ${threads2}"
# Flat: allocator noise only, a few MiB at most, whatever the number of cycles.
[[ "${CORVANE_SOAK_RSS:-1}" == 0 ]] || ((rss2 <= rss1 + 4096)) || fail "the resident size grew from ${rss1} to ${rss2} KiB"
