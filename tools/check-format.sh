#!/usr/bin/env bash
# Fails when a C++ file of the project is not formatted by the project's .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -- '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
echo "formatting: clean"
