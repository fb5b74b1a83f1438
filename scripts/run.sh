#!/usr/bin/env bash
# Installs what is missing, builds, and starts the demo (scripts/demo.sh):
# Firmware on a simulated printer, or without a display the same download
# under Xvfb with a screenshot of its outcome.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

bash scripts/install-deps.sh
# The program alone, with the simulator and the demo driver; no tests.
cmake --preset app >/dev/null
cmake --build --preset app -j "$(nproc)"

exec bash scripts/demo.sh "$root/build/app/bin"
