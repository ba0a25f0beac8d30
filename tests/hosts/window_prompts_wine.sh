#!/usr/bin/env bash
# Runs the prompts program (window_prompts/window_prompts_wine.cpp) under Wine on a virtual X display and
# takes a screenshot of each prompt when the program asks for one; the pictures stay in
# WORKDIR as prompt-<name>.png.
#   window_prompts_wine.sh WORKDIR PROGRAM.exe WINE-RUN.sh
set -euo pipefail
work="$1"
program="$2"
wine_run="$3"
source "$(dirname "${BASH_SOURCE[0]}")/../fixtures/e2e_common.sh"
source "$(dirname "${BASH_SOURCE[0]}")/wine_display.sh"
fresh_work
require_tools xvfb-run import
display_wine_prefix "${wine_run}"

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
on_display 240 "${work}/on_display.sh" "${work}" "${program}" >"${work}/on_display.log" 2>&1 ||
  fail "the display run failed or hung: $(cat "${work}/on_display.log")"
cat "${work}/prompts.txt"
grep -qx 'status=0' "${work}/prompts.txt" || fail "the prompts were not as expected"
for name in update-now download-stop install-next cache-cleared; do
  [[ -s "${work}/prompt-${name}.png" ]] || fail "no screenshot of ${name}"
done
echo "window_prompts_wine: passed; screenshots in ${work}"
