#!/usr/bin/env bash
# Runs a Windows test under Wine with a printer at its service:
#   printer_service.sh WINEPREFIX COMMAND...
# The test's printers live on the Linux side, so this script serves them:
#  - COM1 is the printer simulator (printer-sim of the Linux build, found
#    through FW_PRINTER_SIM or the usual build folders) on a pseudo-terminal,
#    linked as the prefix's dosdevices/com1;
#  - \\127.0.0.1\lp1 is the file lp1 in the service folder, through the
#    prefix's dosdevices/unc.
# The test finds the service folder in FW_PRINTER_SERVICE and asks for a
# printer by writing a file "request" there: NUL-separated words, "start"
# and printer-sim's options (relative file names are in the service folder),
# "stop" (the simulator ends and writes capture-1.bin), or "line" (stty's
# view of the port). "--com N" right after "start" or "stop" serves COMN
# instead of COM1 (capture-N.bin); several ports may be served at once. The
# answer comes back in the file "reply".
# The prefix's Wine server must not lead a session of its own (as a server
# that starts itself does): the simulator's pseudo-terminal would become its
# controlling terminal, and the hang-up when the simulator stops kills it.
# scripts/test-windows.sh starts it as its own child.
set -uo pipefail

prefix=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

sim=${FW_PRINTER_SIM:-}
if [ -z "$sim" ]; then
  for candidate in "$root/build/asan/bin/printer-sim" "$root/build/default/bin/printer-sim"; do
    if [ -x "$candidate" ]; then sim=$candidate; break; fi
  done
fi
if [ -z "$sim" ] || [ ! -x "$sim" ]; then
  echo "printer_service: printer-sim of the Linux build not found; set FW_PRINTER_SIM" >&2
  exit 1
fi

dir=$(mktemp -d "${TMPDIR:-/tmp}/fw-win-service.XXXXXX")
dosdevices="$prefix/dosdevices"
mkdir -p "$dosdevices/unc/127.0.0.1"
old_com1=$(readlink "$dosdevices/com1" 2>/dev/null || true)
: >"$dir/lp1"
ln -sfn "$dir/lp1" "$dosdevices/unc/127.0.0.1/lp1"

declare -A pids slaves
stop_printer() { # PORT
  local n=$1
  if [ -n "${pids[$n]:-}" ]; then
    kill -INT "${pids[$n]}" 2>/dev/null
    wait "${pids[$n]}" 2>/dev/null
  fi
  unset "pids[$n]" "slaves[$n]"
  rm -f "$dosdevices/com$n"
}
stop_all() {
  local n
  for n in "${!pids[@]}"; do stop_printer "$n"; done
}

reply() {
  printf '%s' "$1" >"$dir/reply.tmp"
  mv "$dir/reply.tmp" "$dir/reply"
}

serve() {
  cd "$dir" || exit 1
  trap 'stop_all; exit 0' TERM
  while :; do
    if [ -f request ]; then
      mapfile -d '' -t words <request
      rm -f request
      n=1
      options=("${words[@]:1}")
      if [ "${words[1]:-}" = "--com" ]; then
        n=${words[2]}
        options=("${words[@]:3}")
      fi
      case "${words[0]:-}" in
        start)
          stop_printer "$n"
          rm -f "capture-$n.bin" "sim-$n.out"
          ASAN_OPTIONS=detect_leaks=0 "$sim" "${options[@]}" --capture "capture-$n.bin" >"sim-$n.out" 2>>sim.err &
          pids[$n]=$!
          slave=
          for _ in $(seq 100); do
            slave=$(head -n 1 "sim-$n.out" 2>/dev/null)
            [ -n "$slave" ] && break
            sleep 0.02
          done
          if [ -n "$slave" ]; then
            slaves[$n]=$slave
            ln -sfn "$slave" "$dosdevices/com$n"
            reply "ready"
          else
            reply "failed: $(cat sim.err)"
          fi
          ;;
        stop) stop_printer "$n"; reply "stopped" ;;
        line) reply "$(stty -a -F "${slaves[$n]:-}" 2>&1)" ;;
        *) reply "unknown request" ;;
      esac
    fi
    sleep 0.01
  done
}

serve &
server=$!

FW_PRINTER_SERVICE="$dir" "$@"
code=$?

kill "$server" 2>/dev/null
wait "$server" 2>/dev/null
[ -n "$old_com1" ] && ln -sfn "$old_com1" "$dosdevices/com1"
rm -f "$dosdevices/unc/127.0.0.1/lp1"
rm -rf "$dir"
exit "$code"
