#!/usr/bin/env bash
# Installs everything needed to build and test Corvane on Debian 12. Safe to re-run: when all
# packages are already installed it does nothing.
set -euo pipefail

packages=(
  build-essential
  cmake
  ninja-build
  g++
  clang
  libclang-rt-14-dev
  clang-format
  clang-tidy
  googletest
  libgtest-dev
  libgmock-dev
  libbenchmark-dev
  libpugixml-dev
  libssl-dev
  openssl # scripts/make_standin_certs.sh
  g++-mingw-w64-x86-64
  g++-mingw-w64-i686
  wine64
  util-linux # flock, used by cmake/wine-run.sh
  bubblewrap # the emulated PC runs its programs confined (bwrap)
  chromium           # the page tests and the browser host's end-to-end test, headless
  fonts-wqy-microhei # Chinese text in the page's screenshots
  libcpp-httplib-dev # the browser host's server on 127.0.0.1
  pkg-config         # finds cpp-httplib's build definitions
  libcurl4-openssl-dev # the emulated PC's downloads
  curl                 # the command line that the download benchmark compares with
  ccache               # rebuilds of the five presets reuse earlier compilations
  iproute2             # brings loopback up in the tests' own network namespace
  xvfb                 # the Windows window under Wine on a virtual display
  xdotool              # finds and answers that window's dialogs
  x11-utils            # xprop: the window's icon
  imagemagick          # import: the screenshots of the Wine windows
  libncurses-dev       # the terminal host's page drawn in place (its wide-character build)
  tmux                 # drives the terminal host in the pseudo-terminal test
  time                 # CPU time of the long fuzzing runs (scripts/fuzz_long.sh)
)
# Node runs the page's tests; an existing Node (e.g. a newer one) is used as it is.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  packages+=(nodejs npm)
fi

missing=()
for package in "${packages[@]}"; do
  status="$(dpkg-query -W -f='${db:Status-Status}' "${package}" 2>/dev/null || true)"
  if [[ "${status}" != "installed" ]]; then
    missing+=("${package}")
  fi
done

if [[ ${#missing[@]} -eq 0 ]]; then
  echo "setup: all ${#packages[@]} packages already installed"
  exit 0
fi

echo "setup: installing ${missing[*]}"
if [[ ${EUID} -ne 0 ]]; then
  echo "setup: must run as root to install packages" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"
