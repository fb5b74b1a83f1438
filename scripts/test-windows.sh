#!/usr/bin/env bash
# Cross-builds the program, firmware-cli and TAVLIB for Windows with
# mingw-w64 (the `mingw` preset, no Qt), packs Firmware-windows-x64.zip, and
# runs the Windows tests under Wine through CTest: TAVLIB's, the program's
# Windows parts (COM1 is the printer simulator of a Linux build on a
# pseudo-terminal) and the window's, on an Xvfb display.
#   FW_MINGW_BUILD_DIR  the build folder (build/mingw); the Wine prefix is
#                       its wine/ folder unless FW_WINEPREFIX says otherwise
#   FW_PRINTER_SIM      printer-sim of a Linux build; found in build/asan or
#                       build/default, else built with the default preset
set -euo pipefail
cd "$(dirname "$0")/.."

build=$(realpath -m "${FW_MINGW_BUILD_DIR:-build/mingw}")
export FW_WINEPREFIX="${FW_WINEPREFIX:-$build/wine}"
export WINEPREFIX="$FW_WINEPREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=

if [ -z "${FW_PRINTER_SIM:-}" ]; then
  for candidate in build/asan/bin/printer-sim build/default/bin/printer-sim; do
    if [ -x "$candidate" ]; then FW_PRINTER_SIM=$PWD/$candidate; break; fi
  done
fi
if [ -z "${FW_PRINTER_SIM:-}" ]; then
  cmake --preset default >/dev/null
  cmake --build --preset default --target printer-sim
  FW_PRINTER_SIM=$PWD/build/default/bin/printer-sim
fi
export FW_PRINTER_SIM

cmake --preset mingw -B "$build"
cmake --build "$build" -j "$(nproc)"

run=$(mktemp -d)
xvfb=
server=
cleanup() {
  /usr/lib/wine/wineserver64 -k </dev/null >/dev/null 2>&1 || true
  if [ -n "$server" ]; then wait "$server" 2>/dev/null || true; fi
  if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; fi
  rm -rf "$run"
}
trap cleanup EXIT

# An X display for the window's tests. The prefix's Wine server keeps its
# desktop on the display it first meets, so it meets this one first.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$run/display" 2>"$run/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do
  [ -s "$run/display" ] && break
  sleep 0.05
done
if [ ! -s "$run/display" ]; then
  echo "test-windows: Xvfb did not start:" >&2
  cat "$run/xvfb.log" >&2
  exit 1
fi
export FW_WINE_DISPLAY=":$(head -n 1 "$run/display")"

# Start the wine server and set up the prefix before the first test, or
# every test waits for it and test discovery can hang. The server stays a
# child of this script: started on its own it leads a session, and then the
# first serial port it opens (the simulator's pseudo-terminal) becomes its
# controlling terminal, whose hang-up at the simulator's end kills it.
mkdir -p "$WINEPREFIX"
start_wine() {
  /usr/lib/wine/wineserver64 -k </dev/null >/dev/null 2>&1 || true
  if [ -n "$server" ]; then wait "$server" 2>/dev/null || true; fi
  /usr/lib/wine/wineserver64 -f -p </dev/null >>"$run/wineserver.log" 2>&1 &
  server=$!
  DISPLAY="$FW_WINE_DISPLAY" /usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1
}
start_wine
# The station's tests serve COM1 to COM4. A port beyond the machine's own
# exists under Wine only where the prefix names it (HKLM\Software\Wine\Ports)
# when its services start; the printer service points each at a simulator.
if ! /usr/lib/wine/wine64 reg query 'HKLM\Software\Wine\Ports' /v COM4 >/dev/null 2>&1; then
  for n in 2 3 4; do
    /usr/lib/wine/wine64 reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /d /dev/null /f \
      </dev/null >/dev/null 2>&1
  done
  start_wine
fi

ctest --test-dir "$build" --output-on-failure --no-tests=error --timeout 300
