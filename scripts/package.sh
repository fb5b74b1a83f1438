#!/usr/bin/env bash
# Builds the Debian package of Firmware Downloader and installs it with apt.
# Remove it again with: sudo apt remove firmware-downloader
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

bash scripts/install-deps.sh
cmake --preset deb >/dev/null
cmake --build --preset deb -j "$(nproc)"
rm -rf build/deb/package
cpack --preset deb
deb=$(ls build/deb/package/firmware-downloader_*.deb)
echo "Built $deb"

if [ "$(id -u)" -eq 0 ]; then SUDO=(); else SUDO=(sudo); fi
"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$root/$deb" </dev/null
echo "Installed: start \"Firmware Downloader\" from the desktop menu, or Firmware; firmware-cli for scripts."
