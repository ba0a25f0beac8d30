#!/usr/bin/env bash
# The main job. The application itself does not exist yet: this builds what there is.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/setup.sh
cmake --preset linux
cmake --build --preset linux
echo "Corvane: the support library is built (build/linux); the application is not built yet."
