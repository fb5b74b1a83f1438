#!/usr/bin/env bash
# The demo behind the README's first command: a simulated printer on a
# pseudo-terminal reached as COM1, and Firmware set up to use it.
#   demo.sh <folder of the built program>
set -euo pipefail
bin="$1"
work=$(mktemp -d)
sim_pid=
cleanup() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; wait 2>/dev/null || true; }
trap cleanup EXIT

# A first run gets settings that select Serial, COM1, 9600 bps; settings that
# are already there are left alone.
if [ ! -e "$bin/Firmware.ini" ]; then
  printf '[PRINTFirmware]\r\nInterface=1\r\nInterfaceSel=0\r\nBaudRate=2\r\nBitLength=0\r\nParity=0\r\nStopBit=0\r\nHandShake=0\r\n' > "$bin/Firmware.ini"
  echo "Wrote $bin/Firmware.ini: Serial, COM1, 9600 bps."
fi

"$bin/printer-sim" --answer K20_T --link "$bin" --com 1 --capture "$work/received.bin" > "$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do [ -L "$bin/ports/COM1" ] && break; sleep 0.1; done
echo "Simulated printer (answers K20_T) on $(readlink "$bin/ports/COM1"), reached as COM1."

if [ -n "${DISPLAY:-}" ]; then
  echo "Starting Firmware: File > Open a package from K20T, then Download Start."
  "$bin/Firmware" || true
else
  package="$bin/K20T/FIRMWARE_90.DPX"
  shot="$(dirname "$bin")/Firmware-download.png"
  echo "No display: downloading $package through the window under Xvfb."
  status=0
  xvfb-run -a -s "-screen 0 1024x600x24" "$bin/firmware-demo" "$package" "$shot" || status=$?
  kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null || true; sim_pid=
  if [ -f "$work/received.bin" ]; then
    echo "The simulated printer received $(stat -c %s "$work/received.bin") bytes:"
    head -c 160 "$work/received.bin" | od -An -tx1 | head -4
    echo "  ..."
  fi
  echo "Screenshot of the outcome: $shot"
  exit "$status"
fi
