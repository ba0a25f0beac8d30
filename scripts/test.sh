#!/usr/bin/env bash
# Builds every preset and runs every test: native, sanitized (ASan + UBSan, and TSan), the
# page in headless Chromium, 64-bit Windows under Wine, the 32-bit Windows build (compiled
# only) and, when fuzz targets exist, a short fuzzing run.
# Ends with "N passed, M failed" and a non-zero exit status on any failure.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
repo_root="$(pwd)"
# shellcheck source=lib/fuzz_inputs.sh
source scripts/lib/fuzz_inputs.sh

start_time=${SECONDS}
passed=0
failed=0

stage() {
  echo
  echo "==== [$((SECONDS - start_time))s] $* ===="
}

build_preset() {
  stage "configure ${1}"
  cmake --preset "${1}"
  stage "build ${1}"
  cmake --build --preset "${1}"
}

# Runs one ctest preset and adds its counts to the totals; ctest prints
# "P% tests passed, F tests failed out of T", which is the only count trusted here.
run_ctest() {
  local preset="$1" log="build/${1}/ctest.log" status=0 summary
  stage "test ${preset}"
  ctest --preset "${preset}" 2>&1 | tee "${log}" || status=$?
  summary="$(grep -Eo '[0-9]+ tests failed out of [0-9]+' "${log}" | tail -n 1 || true)"
  if [[ -z "${summary}" ]]; then
    echo "test ${preset}: ctest reported no result (exit status ${status})" >&2
    failed=$((failed + 1))
    return
  fi
  local failed_here total_here
  failed_here="$(awk '{print $1}' <<<"${summary}")"
  total_here="$(awk '{print $NF}' <<<"${summary}")"
  if [[ ${status} -ne 0 && ${failed_here} -eq 0 ]]; then
    # ctest failed without a failing test (e.g. none ran): count it as one failure.
    failed_here=1
  fi
  passed=$((passed + total_here - failed_here))
  failed=$((failed + failed_here))
}

# Each fuzz_* executable runs for a bounded time, seeded from fuzz/corpus/ when seeds exist.
# New inputs go to a scratch directory in the build tree so the checked-in corpus stays as is.
run_fuzz_smoke() {
  local seconds="${CORVANE_FUZZ_SECONDS:-30}" target name work log
  local targets=()
  [[ -d build/linux-fuzz/fuzz ]] || {
    echo "fuzz: build/linux-fuzz/fuzz does not exist"
    return
  }
  while IFS= read -r target; do
    targets+=("${target}")
  done < <(find build/linux-fuzz/fuzz -type f -name 'fuzz_*' -perm -u+x | sort)
  if [[ ${#targets[@]} -eq 0 ]]; then
    echo "fuzz: no fuzz_* targets built"
    return
  fi
  # Two targets at a time (CORVANE_FUZZ_PARALLEL): each is one process on one core, so the
  # stage takes half as long on this two-core machine and every target still gets its seconds.
  local parallel="${CORVANE_FUZZ_PARALLEL:-2}" i j status
  for ((i = 0; i < ${#targets[@]}; i += parallel)); do
    local -a pids=()
    for ((j = i; j < i + parallel && j < ${#targets[@]}; ++j)); do
      target="${targets[j]}"
      name="$(basename "${target}")"
      work="build/linux-fuzz/fuzz-work/${name}"
      log="build/linux-fuzz/fuzz-work/${name}.log"
      mkdir -p "${work}/corpus" "${work}/artifacts"
      fuzz_inputs "${name}" "${repo_root}"
      {
        echo "seeds: ${fuzz_corpus[*]:-none}; dictionary: ${fuzz_dict[*]:-none}"
        status=0
        timeout --kill-after=10 "$((seconds + 120))" "${target}" \
          -max_total_time="${seconds}" -print_final_stats=1 "${fuzz_dict[@]}" \
          -artifact_prefix="${work}/artifacts/" "${work}/corpus" "${fuzz_corpus[@]}" 2>&1 ||
          status=$?
        echo "${status}" >"${log}.status"
      } >"${log}" &
      pids+=($!)
    done
    wait "${pids[@]}" || true
    for ((j = i; j < i + parallel && j < ${#targets[@]}; ++j)); do
      name="$(basename "${targets[j]}")"
      log="build/linux-fuzz/fuzz-work/${name}.log"
      stage "fuzz ${name} for ${seconds}s"
      if [[ "$(cat "${log}.status" 2>/dev/null)" == 0 ]]; then
        head -n 1 "${log}"
        tail -n 12 "${log}"
        passed=$((passed + 1))
      else
        tail -n 60 "${log}"
        echo "fuzz ${name}: FAILED (full log: ${log})" >&2
        failed=$((failed + 1))
      fi
      rm -f "${log}.status"
    done
  done
}

# Runs the node tests of one folder (node --test, TAP) against the corvane program of a
# preset (linux unless given) and adds their counts to the totals.
run_node_tests() {
  local folder="$1" preset="${2:-linux}" log status=0 pass fail
  log="build/node-$(basename "${folder}")-${preset}.log"
  stage "node tests ${folder} (${preset})"
  if [[ ! -x /usr/bin/chromium ]]; then
    echo "skipped: /usr/bin/chromium is missing (scripts/setup.sh installs it)"
    return
  fi
  local program="build/${preset}/src/hosts/corvane"
  CORVANE_PROGRAM="${program}" node --test --test-reporter=tap "${folder}" 2>&1 |
    tee "${log}" || status=$?
  pass="$(grep -Eo '^# pass [0-9]+' "${log}" | awk '{print $3}' | tail -n 1)"
  fail="$(grep -Eo '^# fail [0-9]+' "${log}" | awk '{print $3}' | tail -n 1)"
  pass=${pass:-0}
  fail=${fail:-0}
  if [[ ${status} -ne 0 && ${fail} -eq 0 ]]; then
    fail=1  # node failed without a failing test (e.g. a test file that does not load)
  fi
  passed=$((passed + pass))
  failed=$((failed + fail))
}

if [[ "${1:-}" != "--isolated" ]]; then
  stage "setup"
  bash scripts/setup.sh
  stage "npm dependencies"
  npm ci --no-audit --no-fund
  # Everything after the installs runs in a network namespace of its own with only loopback
  # up: the tests talk to servers on 127.0.0.1, and a lookup or connection that would leave
  # this machine (Wine's resolver, a browser's background requests) fails at once instead.
  if [[ ${EUID} -eq 0 ]] && unshare --net true 2>/dev/null; then
    stage "builds and tests in a network namespace with loopback only"
    exec unshare --net -- bash "${BASH_SOURCE[0]}" --isolated
  fi
  echo "test: no network namespace can be made here; the tests run on the machine's network"
else
  ip link set lo up
fi
# Compilations are cached across runs and clones (paths are taken relative to the checkout),
# so a second run of the five presets compiles only what changed.
if command -v ccache >/dev/null 2>&1; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
  export CCACHE_BASEDIR="${repo_root}"
  # Builds with debug info would otherwise hash the build folder too and miss in a new clone.
  export CCACHE_NOHASHDIR=1
fi

for preset in linux linux-asan linux-tsan win64 win32 linux-fuzz; do
  build_preset "${preset}"
done

# The shipping 32-bit build cannot run here, but its imports can be checked against XP.
stage "check the win32 programs against Windows XP's imports"
mapfile -t win32_programs < <(find build/win32 -name '*.exe' -not -path '*/_deps/*' | sort)
if bash scripts/check_xp_imports.sh "${win32_programs[@]}"; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
fi

run_ctest linux
run_ctest linux-asan
run_node_tests tests/browser

# ThreadSanitizer: the native tests and end-to-end runs, then the browser host's server
# threads under the page's real traffic in Chromium. A report ends the program at once.
tsan_start=${SECONDS}
run_ctest linux-tsan
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=${repo_root}/tests/tsan.supp" \
  run_node_tests tests/browser linux-tsan
echo "ThreadSanitizer stage: $((SECONDS - tsan_start))s"

# The page's script checks and its tests in headless Chromium.
run_node_tests tests/page

stage "initialise Wine prefix"
cmake/wine-run.sh --init
run_ctest win64

# The self-update under Wine needs a second Windows program that differs only in its version
# (the build option), the Linux program and the local bank server.
stage "build the Windows program as version 2.0.0.0"
cmake --preset win64 -B build/win64-next -DCORVANE_PROGRAM_VERSION=2.0.0.0 \
  -DCORVANE_BUILD_TESTS=OFF
cmake --build build/win64-next --target corvane
stage "self-update under Wine"
if bash tests/update/update_wine_end_to_end.sh build/win64/update_wine_end_to_end \
  build/win64/src/hosts/corvane.exe build/win64-next/src/hosts/corvane.exe \
  build/linux/src/hosts/corvane build/linux/tests/fixtures/bank_server/corvane-bank-server \
  "${repo_root}/cmake/wine-run.sh"; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
fi
WINEPREFIX="${repo_root}/build/win64/wineprefix" /usr/lib/wine/wineserver -w || true

if [[ -f fuzz/CMakeLists.txt ]]; then
  run_fuzz_smoke
else
  stage "fuzz smoke skipped: no fuzz/ directory"
fi

stage "done in $((SECONDS - start_time))s (win32 compiled only: no 32-bit Wine here)"
echo "${passed} passed, ${failed} failed"
if [[ ${failed} -ne 0 ]]; then
  exit 1
fi
