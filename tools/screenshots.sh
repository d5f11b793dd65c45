#!/usr/bin/env bash
# Renders every window of Velmora to PNG files under a virtual X server, on a freshly seeded
# machine, and reports any text that does not fit its control.
#   tools/screenshots.sh [OUTDIR]          (default: build/screenshots)
# With a main-window picture for the README:  tools/screenshots.sh && cp build/screenshots/Form1.png docs/screenshot-main.png
# Set BUILD_DIR to use another build folder (default: build/dev, configured when missing).
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-build/screenshots}"
build="${BUILD_DIR:-build/dev}"

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake --preset dev -B "$build" >/dev/null
fi
cmake --build "$build" --target velmora_screens

mkdir -p "$out"
home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
mkdir -p -m 700 "$home/runtime"
# A home of its own: nothing is read from or written to the user's settings.
status=0
env HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/runtime" \
    QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" "$build/velmora_screens" "$out" || status=$?
case $status in
  0) echo "All windows rendered to $out; no text clipped." ;;
  3) echo "Windows rendered to $out, but some text is clipped (see above)." >&2 ;;
  *) echo "Rendering failed (status $status)." >&2 ;;
esac
exit $status
