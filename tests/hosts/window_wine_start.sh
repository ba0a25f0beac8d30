#!/usr/bin/env bash
# Starts the Windows program with its default host, the window, under Wine on a virtual X
# display: the dialog appears with its title and icon. Wine here has no HTML engine, so the
# program must say so in a message and end with status 4 once the message is answered,
# never hang. The screenshot stays in WORKDIR.
#   window_wine_start.sh WORKDIR PROGRAM.exe WINE-RUN.sh
set -euo pipefail
work="$1"
program="$2"
wine_run="$3"
rm -rf "${work}"
mkdir -p "${work}"

fail() {
  echo "window_wine_start: $*" >&2
  exit 1
}

for tool in xvfb-run xdotool xprop import; do
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

# Runs inside xvfb-run: find the windows, read them, take the picture, answer the message.
cat >"${work}/on_display.sh" <<'SCRIPT'
set -uo pipefail
work="$1"
program="$2"
(cd "${work}" && exec /usr/lib/wine/wine64 "${program}") &
pid=$!
title="Marrowby银行网银助手"
dialog="" message=""
for _ in $(seq 1 120); do
  for window in $(xdotool search --name "${title}" 2>/dev/null); do
    name="$(xdotool getwindowname "${window}")"
    [[ "${name}" == "${title} 1.0.0.0" ]] && dialog="${window}"
    [[ "${name}" == "${title}" ]] && message="${window}"
  done
  [[ -n "${dialog}" && -n "${message}" ]] && break
  sleep 0.5
done
echo "dialog=${dialog}" >"${work}/windows.txt"
echo "message=${message}" >>"${work}/windows.txt"
if [[ -n "${dialog}" ]]; then
  xdotool getwindowgeometry "${dialog}" >>"${work}/windows.txt"
  # The icon is set when the window property carries pixels.
  xprop -id "${dialog}" _NET_WM_ICON | head -c 200 >>"${work}/windows.txt"
  echo >>"${work}/windows.txt"
fi
sleep 1
import -window root "${work}/window_start.png"
# No window manager here: the message box, shown last, has the keyboard focus.
[[ -n "${message}" ]] && xdotool key Return
# Never hang: the message answered, the program has seconds to end.
for _ in $(seq 1 40); do
  kill -0 "${pid}" 2>/dev/null || break
  sleep 0.5
done
if kill -0 "${pid}" 2>/dev/null; then
  echo "status=hung" >>"${work}/windows.txt"
  kill "${pid}"
  /usr/lib/wine/wineserver -k
  exit 0
fi
wait "${pid}"
echo "status=$?" >>"${work}/windows.txt"
/usr/lib/wine/wineserver -w
SCRIPT
timeout 180 xvfb-run -a -s "-screen 0 1024x768x24" bash "${work}/on_display.sh" "${work}" \
  "${program}" >"${work}/on_display.log" 2>&1 || fail "the display run failed: $(cat "${work}/on_display.log")"

cat "${work}/windows.txt"
grep -qE '^dialog=[0-9]+$' "${work}/windows.txt" || fail "no dialog window titled with the program name and version"
grep -qE '^message=[0-9]+$' "${work}/windows.txt" || fail "no message about the missing browser engine"
# X gives the client area and its offset; Wine draws the frame around it, as wide at the
# bottom and sides as the offset's x.
read -r x y < <(sed -n 's/^ *Position: \([0-9]*\),\([0-9]*\).*/\1 \2/p' "${work}/windows.txt")
read -r w h < <(sed -n 's/^ *Geometry: \([0-9]*\)x\([0-9]*\).*/\1 \2/p' "${work}/windows.txt")
[[ $((w + 2 * x)) -eq 836 && $((h + y + x)) -eq 592 ]] ||
  fail "the window is not 836 x 592 (client ${w}x${h} at ${x},${y})"
grep -q '_NET_WM_ICON(CARDINAL) = ' "${work}/windows.txt" || fail "the window has no icon"
grep -qx 'status=4' "${work}/windows.txt" || fail "the program did not end with status 4"
[[ -s "${work}/window_start.png" ]] || fail "no screenshot"
echo "window_wine_start: passed; screenshot ${work}/window_start.png"
