#!/usr/bin/env bash
# The main job: builds Corvane, shows the default emulated Windows PC (created on first use)
# and runs a full check of it in the terminal.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/setup.sh
cmake --preset linux
cmake --build --preset linux
build/linux/src/platform/corvane-machine show
if [[ -x build/linux/src/hosts/corvane ]]; then
  # A full check of the default machine, shown as the page would show it.
  build/linux/src/hosts/corvane --ui terminal --exit-when-idle
fi
