#!/usr/bin/env bash
# Runs the project's .clang-tidy checks over the product code; needs the dev build's
# compile_commands.json (tools/test.sh makes it).
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -- '*.cpp' | grep -v -E '^(tests|bench|fuzz|tools)/' | xargs clang-tidy -p build/dev --quiet
echo "clang-tidy: clean"
