#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite: once in the
# ordinary debug build, then again under AddressSanitizer and UndefinedBehaviorSanitizer.
# Pass a preset name (dev or asan) to run just that one. Under CI (CI=true) a compiler warning
# fails the build; elsewhere it is only shown.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
presets=("${@:-dev asan}")
werror=OFF
[ "${CI:-}" = true ] && werror=ON
for preset in ${presets[@]}; do
  echo "== $preset"
  cmake --preset "$preset" -DVELMORA_WERROR=$werror >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
