# shellcheck shell=bash
# The set-up of the tests that run a Windows program under Wine on a virtual X display;
# source this file after tests/fixtures/e2e_common.sh.
#
#   display_wine_prefix WINE_RUN    WINEPREFIX and the Wine settings for the display tests'
#                                   own prefix, made ready by WINE_RUN --init, with Chinese
#                                   glyphs for the screenshots
#   on_display SECONDS SCRIPT ARG...
#                                   bash SCRIPT ARG... inside xvfb-run on a new 1024x768
#                                   display, ended after SECONDS; non-zero when the run failed
#                                   or was ended
wine_display_dir="$(dirname "${BASH_SOURCE[0]}")"

# A prefix of the display tests' own: Wine's desktop takes the display of the first program
# that starts the prefix's server, so these tests must not share one with the headless
# tests running beside them. Made ready without a display, once per build tree.
display_wine_prefix() {
  local wine_run="$1" repo_root
  repo_root="$(cd "${wine_display_dir}/../.." && pwd)"
  export WINEPREFIX="${CORVANE_DISPLAY_WINEPREFIX:-${repo_root}/build/win64/wineprefix-display}"
  "${wine_run}" --init
  export WINEDEBUG="${WINEDEBUG:--all}"
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
  export WINEARCH=win64
  bash "${wine_display_dir}/wine_chinese_fonts.sh"
}

on_display() {
  local seconds="$1"
  shift
  timeout "${seconds}" xvfb-run -a -s "-screen 0 1024x768x24" bash "$@"
}
