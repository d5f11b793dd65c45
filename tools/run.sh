#!/usr/bin/env bash
# Installs what is missing, builds Velmora and starts it on its default machine folder
# (extra arguments go to velmora, e.g. --machine DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target velmora
exec build/release/velmora "$@"
