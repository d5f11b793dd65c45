#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite: once in the
# ordinary debug build, then again under AddressSanitizer and UndefinedBehaviorSanitizer.
# Pass a preset name (dev or asan) to run just that one.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
presets=("${@:-dev asan}")
for preset in ${presets[@]}; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
