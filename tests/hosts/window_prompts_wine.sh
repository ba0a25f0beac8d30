#!/usr/bin/env bash
# Runs the prompts program (window_prompts/window_prompts_wine.cpp) under Wine on a virtual X display and
# takes a screenshot of each prompt when the program asks for one; the pictures stay in
# WORKDIR as prompt-<name>.png.
#   window_prompts_wine.sh WORKDIR PROGRAM.exe WINE-RUN.sh
set -euo pipefail
work="$1"
program="$2"
wine_run="$3"
rm -rf "${work}"
mkdir -p "${work}"

fail() {
  echo "window_prompts_wine: $*" >&2
  exit 1
}
for tool in xvfb-run import; do
  command -v "${tool}" >/dev/null || fail "${tool} is missing (scripts/setup.sh installs it)"
done

# A prefix of the display tests' own: Wine's desktop takes the display of the first program
# that starts the prefix's server, so these tests must not share one with the headless
# tests running beside them. Made ready without a display, once per build tree.
repo_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
export WINEPREFIX="${CORVANE_DISPLAY_WINEPREFIX:-${repo_root}/build/win64/wineprefix-display}"
"${wine_run}" --init
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEARCH=win64
bash "$(dirname "${BASH_SOURCE[0]}")/wine_chinese_fonts.sh"

cat >"${work}/on_display.sh" <<'SCRIPT'
set -uo pipefail
work="$1"
program="$2"
cd "${work}"
/usr/lib/wine/wine64 "${program}" >"${work}/prompts.txt" 2>"${work}/prompts.err" &
pid=$!
while kill -0 "${pid}" 2>/dev/null; do
  for request in shot-*; do
    [[ -e "${request}" ]] || continue
    name="${request#shot-}"
    import -window root "prompt-${name}.png"
    rm -f "${request}"
    touch "done-${name}"
  done
  sleep 0.2
done
wait "${pid}"
echo "status=$?" >>"${work}/prompts.txt"
# The server goes with this display, so the next display test starts its own.
/usr/lib/wine/wineserver -w
SCRIPT
timeout 240 xvfb-run -a -s "-screen 0 1024x768x24" bash "${work}/on_display.sh" "${work}" \
  "${program}" >"${work}/on_display.log" 2>&1 || fail "the display run failed or hung: $(cat "${work}/on_display.log")"
cat "${work}/prompts.txt"
grep -qx 'status=0' "${work}/prompts.txt" || fail "the prompts were not as expected"
for name in update-now download-stop install-next cache-cleared; do
  [[ -s "${work}/prompt-${name}.png" ]] || fail "no screenshot of ${name}"
done
echo "window_prompts_wine: passed; screenshots in ${work}"
