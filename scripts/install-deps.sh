#!/usr/bin/env bash
# Installs the Debian packages this project needs to build, run and test,
# only those that are missing. Runs apt-get as root, or through sudo.
set -euo pipefail

PACKAGES=(
  # build tools
  build-essential cmake ninja-build pkg-config git clang-format
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  # firmware-cli's options and JSON (header-only, also for the Windows build)
  libcli11-dev nlohmann-json3-dev
  # the window
  qt6-base-dev qt6-base-dev-tools libgl-dev
  fonts-liberation
  # a display for machines without one, and screenshots
  xvfb xauth imagemagick
  # a window manager's close request in the end-to-end tests on Xvfb
  libx11-dev
  # USB printers and serial port descriptions on Linux, and the USB test bed
  libudev-dev umockdev libumockdev-dev gir1.2-umockdev-1.0
  # the network print path and its local test server
  libsmbclient-dev samba smbclient
  # the Debian package and the installed program's checks
  dpkg-dev lintian desktop-file-utils appstream
  # fuzzing
  clang libclang-rt-14-dev
  # the Windows build of the USB library, tested under Wine
  mingw-w64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix wine64
)

missing=()
for p in "${PACKAGES[@]}"; do
  if [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" != 'install ok installed' ]; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#PACKAGES[@]} packages already installed"
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then SUDO=(); else SUDO=(sudo); fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -q
"${SUDO[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
echo "install-deps: done"
