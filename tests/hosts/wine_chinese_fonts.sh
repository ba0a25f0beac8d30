#!/usr/bin/env bash
# Gives a Wine prefix Chinese glyphs for the dialogs' own fonts, so the screenshots of the
# window tests show the texts instead of boxes: the WenQuanYi font (fonts-wqy-microhei) in
# the prefix's Fonts folder and linked behind the dialog fonts. Once per prefix (a marker
# file says it is done); safe when tests start in parallel.
#   wine_chinese_fonts.sh       uses WINEPREFIX and the Wine settings of the caller
set -euo pipefail
font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
marker="${WINEPREFIX}/corvane-chinese-fonts"
[[ -f "${font}" ]] || exit 0  # no font: boxes in the pictures, the tests still run
exec 8>"${WINEPREFIX}.fonts.lock"
flock 8
if [[ ! -f "${marker}" ]]; then
  cp "${font}" "${WINEPREFIX}/drive_c/windows/Fonts/"
  for face in "Tahoma" "Microsoft Sans Serif" "MS Shell Dlg" "MS Shell Dlg 2"; do
    /usr/lib/wine/wine64 reg add \
      'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v "${face}" \
      /t REG_MULTI_SZ /d "wqy-microhei.ttc,WenQuanYi Micro Hei" /f >/dev/null 2>&1 || true
  done
  /usr/lib/wine/wineserver -w
  touch "${marker}"
fi
