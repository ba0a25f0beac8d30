#!/usr/bin/env bash
# The main job. The application itself does not exist yet: this builds what there is and
# opens the emulated Windows PC that it will run on, creating it on first use.
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
echo "Corvane: the support library and the platform layer are built (build/linux);"
echo "the application is not built yet."
