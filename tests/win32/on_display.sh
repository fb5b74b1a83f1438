#!/usr/bin/env bash
# Runs a Windows program under Wine on the X display of the Windows tests:
#   on_display.sh WINEPREFIX PROGRAM ARGS...
# scripts/test-windows.sh starts Xvfb and names it in FW_WINE_DISPLAY. One
# display serves every test of a run, since the prefix's Wine server keeps
# its desktop on the display it first met. Without one the test is skipped.
set -u
prefix=$1
shift
display=${FW_WINE_DISPLAY:-${DISPLAY:-}}
if [ -z "$display" ]; then
  echo "on_display: no X display for the window; scripts/test-windows.sh starts one" >&2
  exit 77
fi
# Without a window manager Wine waits two seconds for one at each window it
# takes down, unless its windows are left unmanaged.
if ! grep -qs '"Managed"="N"' "$prefix/user.reg"; then
  WINEPREFIX="$prefix" WINEDEBUG=-all DISPLAY="$display" /usr/lib/wine/wine64 reg add \
    'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
fi
exec env WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY="$display" \
  /usr/lib/wine/wine64 "$@"
