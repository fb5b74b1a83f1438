#!/usr/bin/env bash
# The demo behind the README's first command: a simulated printer on a
# pseudo-terminal reached as COM1, and Firmware set up to use it.
#   demo.sh <folder of the built program>
# The demo runs from a program folder of its own beside <folder> (demo/),
# with settings written afresh at each start: what a user saved elsewhere
# cannot change it.
set -euo pipefail
bin="$(cd "$1" && pwd)"
demo="$(dirname "$bin")/demo"
work=$(mktemp -d)
sim_pid=
cleanup() { [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; wait 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

mkdir -p "$demo"
for f in Firmware firmware-cli firmware-demo libTAVLIB.so; do
  ln -f "$bin/$f" "$demo/$f" 2>/dev/null || cp -f "$bin/$f" "$demo/$f"
done
ln -sfn "$bin/K20T" "$demo/K20T"
printf '[PRINTFirmware]\r\nInterface=1\r\nInterfaceSel=0\r\nBaudRate=2\r\nBitLength=0\r\nParity=0\r\nStopBit=0\r\nHandShake=0\r\n' > "$demo/Firmware.ini"
echo "Demo folder $demo: Serial, COM1, 9600 bps."

# The simulated printer knows every sample package, so it tells each record
# by its bytes, and it answers each new session's model query.
"$bin/printer-sim" --answer K20_T --packages "$bin/K20T" --link "$demo" --com 1 \
  --capture "$work/received.bin" > "$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do [ -L "$demo/ports/COM1" ] && break; sleep 0.1; done
echo "Simulated printer (answers K20_T) on $(readlink "$demo/ports/COM1"), reached as COM1."

if [ -n "${DISPLAY:-}" ]; then
  echo "Starting Firmware: File > Open a package from K20T, then Download Start."
  "$demo/Firmware" || true
else
  package="$bin/K20T/FIRMWARE_90.DPX"
  shot="$(dirname "$bin")/Firmware-download.png"
  echo "No display: downloading $package through the window under Xvfb."
  status=0
  xvfb-run -a -s "-screen 0 1024x600x24" "$demo/firmware-demo" "$package" "$shot" || status=$?
  echo "And a second session to the same printer, from the command line:"
  "$demo/firmware-cli" download "$bin/K20T/FONT_MODEL_93.DPX" --serial COM1 --baud 9600 --quiet || status=$?
  kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null || true; sim_pid=
  if [ -f "$work/received.bin" ]; then
    echo "The simulated printer received $(stat -c %s "$work/received.bin") bytes:"
    head -c 160 "$work/received.bin" | od -An -tx1 | head -4
    echo "  ..."
  fi
  tail -1 "$work/sim.log"
  echo "Screenshot of the outcome: $shot"
  exit "$status"
fi
