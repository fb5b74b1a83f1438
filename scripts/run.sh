#!/usr/bin/env bash
# Installs what is missing, builds, and starts Firmware. Without a display it
# starts the window under Xvfb, saves a screenshot and says where it is.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

bash scripts/install-deps.sh
# The program alone, with the simulator and the demo driver; no tests.
cmake --preset app >/dev/null
cmake --build --preset app -j "$(nproc)"

bin="$root/build/app/bin"
if [ -f scripts/demo.sh ]; then
  exec bash scripts/demo.sh "$bin"
fi

if [ -n "${DISPLAY:-}" ]; then
  exec "$bin/Firmware"
fi
exec bash scripts/screenshot.sh "$bin" "$root/build/app/Firmware-window.png"
