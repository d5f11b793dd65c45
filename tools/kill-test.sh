#!/usr/bin/env bash
# Kills a process with SIGKILL a few hundred times in the middle of saving a change to a FAT16
# and a FAT32 image, reopens the image each time and checks it holds the old or the new file
# system, clean by fsck.fat. Needs the dev build's test_journal. Usage: tools/kill-test.sh [KILLS]
set -euo pipefail
cd "$(dirname "$0")/.."
kills=${1:-300}
VELMORA_KILL_TRIALS=$(((kills + 1) / 2)) build/dev/tests/test_journal --gtest_filter='KillDuringSave.*'
