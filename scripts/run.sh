#!/usr/bin/env bash
# Installs what is missing, builds, and starts Firmware. Without a display it
# starts the window under Xvfb, saves a screenshot and says where it is.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"

bin="$root/build/default/bin"
if [ -f scripts/demo.sh ]; then
  exec bash scripts/demo.sh "$bin"
fi

if [ -n "${DISPLAY:-}" ]; then
  exec "$bin/Firmware"
fi
exec bash scripts/screenshot.sh "$bin" "$root/build/default/Firmware-window.png"
