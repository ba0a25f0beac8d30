#!/usr/bin/env bash
# Starts the Windows program with its default host, the window, under Wine on a virtual X
# display: the dialog appears with its title (the program's version at its end) and icon.
# Wine here has no HTML engine, so the program must say so in a message and end with status
# 4 once the message is answered, never hang. The screenshots stay in WORKDIR.
# Started a second time as automation drives it (--transcript, --do, --exit-when-idle), the
# window behaves the same: no page, so no command runs, and the transcript holds the message.
#   window_wine_start.sh WORKDIR PROGRAM.exe WINE-RUN.sh VERSION
set -euo pipefail
work="$1"
program="$2"
wine_run="$3"
version="$4"
source "$(dirname "${BASH_SOURCE[0]}")/../fixtures/e2e_common.sh"
source "$(dirname "${BASH_SOURCE[0]}")/wine_display.sh"
fresh_work
require_tools xvfb-run xdotool xprop import x86_64-w64-mingw32-objdump

# A window program: Windows opens no console beside the dialog.
subsystem="$(x86_64-w64-mingw32-objdump -p "${program}" | awk '/^Subsystem/ { print $3, $4 }')"
[[ "${subsystem}" == "(Windows GUI)" ]] || fail "the program's subsystem is ${subsystem}, not Windows GUI"

display_wine_prefix "${wine_run}"

# Runs inside xvfb-run: find the windows, read them, take the picture, answer the message.
cat >"${work}/on_display.sh" <<'SCRIPT'
set -uo pipefail
work="$1"
program="$2"
version="$3"
run="$4"
shift 4
mkdir -p "${work}/${run}"
(cd "${work}/${run}" && exec /usr/lib/wine/wine64 "${program}" "$@") &
pid=$!
title="Marrowby银行网银助手"
dialog="" message=""
for _ in $(seq 1 120); do
  for window in $(xdotool search --name "${title}" 2>/dev/null); do
    name="$(xdotool getwindowname "${window}")"
    [[ "${name}" == "${title} ${version}" ]] && dialog="${window}"
    [[ "${name}" == "${title}" ]] && message="${window}"
  done
  [[ -n "${dialog}" && -n "${message}" ]] && break
  sleep 0.5
done
echo "dialog=${dialog}" >"${work}/${run}/windows.txt"
echo "message=${message}" >>"${work}/${run}/windows.txt"
if [[ -n "${dialog}" ]]; then
  xdotool getwindowgeometry "${dialog}" >>"${work}/${run}/windows.txt"
  # The icon is set when the window property carries pixels.
  xprop -id "${dialog}" _NET_WM_ICON | head -c 200 >>"${work}/${run}/windows.txt"
  echo >>"${work}/${run}/windows.txt"
fi
sleep 1
import -window root "${work}/${run}/window_start.png"
# No window manager here: the message box, shown last, has the keyboard focus.
[[ -n "${message}" ]] && xdotool key Return
# Never hang: the message answered, the program has seconds to end.
for _ in $(seq 1 40); do
  kill -0 "${pid}" 2>/dev/null || break
  sleep 0.5
done
if kill -0 "${pid}" 2>/dev/null; then
  echo "status=hung" >>"${work}/${run}/windows.txt"
  kill "${pid}"
  /usr/lib/wine/wineserver -k
  exit 0
fi
wait "${pid}"
echo "status=$?" >>"${work}/${run}/windows.txt"
/usr/lib/wine/wineserver -w
SCRIPT
# Both runs on one display, one after the other: one instance per Wine prefix.
cat >"${work}/runs.sh" <<'SCRIPT'
set -uo pipefail
work="$1"
program="$2"
version="$3"
bash "${work}/on_display.sh" "${work}" "${program}" "${version}" plain
bash "${work}/on_display.sh" "${work}" "${program}" "${version}" automated \
  --transcript transcript.jsonl --do 'check(0)' --do onOpen --exit-when-idle
SCRIPT
on_display 300 "${work}/runs.sh" "${work}" "${program}" "${version}" >"${work}/on_display.log" 2>&1 ||
  fail "the display run failed: $(cat "${work}/on_display.log")"

for run in plain automated; do
  found="${work}/${run}/windows.txt"
  echo "${run}:"
  cat "${found}"
  grep -qE '^dialog=[0-9]+$' "${found}" ||
    fail "${run}: no dialog window titled with the program name and version ${version}"
  grep -qE '^message=[0-9]+$' "${found}" || fail "${run}: no message about the missing browser engine"
  # X gives the client area and its offset; Wine draws the frame around it, as wide at the
  # bottom and sides as the offset's x.
  read -r x y < <(sed -n 's/^ *Position: \([0-9]*\),\([0-9]*\).*/\1 \2/p' "${found}")
  read -r w h < <(sed -n 's/^ *Geometry: \([0-9]*\)x\([0-9]*\).*/\1 \2/p' "${found}")
  [[ $((w + 2 * x)) -eq 836 && $((h + y + x)) -eq 592 ]] ||
    fail "${run}: the window is not 836 x 592 (client ${w}x${h} at ${x},${y})"
  grep -q '_NET_WM_ICON(CARDINAL) = ' "${found}" || fail "${run}: the window has no icon"
  grep -qx 'status=4' "${found}" || fail "${run}: the program did not end with status 4"
  [[ -s "${work}/${run}/window_start.png" ]] || fail "${run}: no screenshot"
done

# The page never loaded: the --do commands did not run, and the transcript holds what the
# user was shown, the message (string 160) closed with OK.
transcript="${work}/automated/transcript.jsonl"
[[ -f "${transcript}" ]] || fail "automated: no transcript"
tr -d '\r' <"${transcript}" >"${work}/automated/t.jsonl"
grep -qxE '\{"t":[0-9]+,"prompt":"info","ids":\[160,0\],"answer":1\}' "${work}/automated/t.jsonl" ||
  fail "automated: the message is not in the transcript: $(cat "${work}/automated/t.jsonl")"
[[ $(wc -l <"${work}/automated/t.jsonl") -eq 1 ]] ||
  fail "automated: more than the message in the transcript: $(cat "${work}/automated/t.jsonl")"
echo "window_wine_start: passed; screenshots ${work}/plain/window_start.png, ${work}/automated/window_start.png"
