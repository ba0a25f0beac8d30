#!/usr/bin/env bash
# Long fuzzing runs, outside the test command: each fuzz target (or the ones named) for
# MINUTES of wall-clock time (default 30), at the lowest priority so that it only takes what
# the machine leaves. Each run is added to fuzz/hours.tsv (target, seconds, executions, CPU
# seconds, result, date); a crashing input is left in build/linux-fuzz/fuzz-long/NAME/artifacts
# for a fix and, once fixed, belongs in fuzz/corpus/NAME.
#   scripts/fuzz_long.sh [--minutes N] [fuzz_NAME...]
# Needs the linux-fuzz build (cmake --preset linux-fuzz && cmake --build --preset linux-fuzz).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
repo_root="$(pwd)"
# shellcheck source=lib/fuzz_inputs.sh
source scripts/lib/fuzz_inputs.sh

minutes=30
if [[ "${1:-}" == --minutes ]]; then
  minutes="$2"
  shift 2
fi
targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
  mapfile -t targets < <(find build/linux-fuzz/fuzz -maxdepth 1 -type f -name 'fuzz_*' \
    -perm -u+x -printf '%f\n' | sort)
fi
[[ ${#targets[@]} -gt 0 ]] || {
  echo "fuzz_long: no fuzz targets built in build/linux-fuzz/fuzz" >&2
  exit 2
}

status=0
for name in "${targets[@]}"; do
  program="build/linux-fuzz/fuzz/${name}"
  [[ -x "${program}" ]] || {
    echo "fuzz_long: ${program} is not built" >&2
    exit 2
  }
  work="build/linux-fuzz/fuzz-long/${name}"
  mkdir -p "${work}/corpus" "${work}/artifacts"
  fuzz_inputs "${name}" "${repo_root}"
  echo "fuzz_long: ${name} for ${minutes} min"
  result=passed
  # The CPU time is the run's own (user + system), which says how much fuzzing a loaded
  # machine really gave it.
  if ! nice -n 19 /usr/bin/time -f '%U %S' -o "${work}/time" \
    "${program}" -max_total_time="$((minutes * 60))" -print_final_stats=1 \
    "${fuzz_dict[@]}" -artifact_prefix="${work}/artifacts/" "${work}/corpus" \
    "${fuzz_corpus[@]}" >"${work}/log" 2>&1; then
    result=failed
    status=1
    tail -n 40 "${work}/log"
  fi
  execs="$(grep -Eo 'stat::number_of_executed_units: [0-9]+' "${work}/log" | awk '{print $2}')"
  cpu="$(awk '{printf "%d", $(NF-1) + $NF}' "${work}/time" 2>/dev/null || echo 0)"
  printf '%s\t%d\t%s\t%s\t%s\t%s\n' "${name}" "$((minutes * 60))" "${execs:-0}" "${cpu}" \
    "${result}" "$(date -u +%Y-%m-%d)" | tee -a fuzz/hours.tsv
done
exit "${status}"
