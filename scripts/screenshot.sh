#!/usr/bin/env bash
# Takes a screenshot of the Firmware window as it opens, under Xvfb.
#   screenshot.sh [folder of the built program] [output.png]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bin="${1:-$root/build/default/bin}"
shot="${2:-$root/build/Firmware-window.png}"
xvfb-run -a -s "-screen 0 1024x600x24" bash -c '
  "$1/Firmware" & pid=$!
  sleep 3
  import -window root "$2"
  kill $pid; wait $pid 2>/dev/null || true
' _ "$bin" "$shot"
echo "Screenshot of the window: $shot"
