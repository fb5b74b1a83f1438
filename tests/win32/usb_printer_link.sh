#!/usr/bin/env bash
# Runs a Windows test with a USB printer's device path made reachable:
#   usb_printer_link.sh WINEPREFIX DEVICE COMMAND...
# DEVICE is the device path that the test registers its printer under, after
# "\\?\" and in lower case (usb#vid_0483&pid_7c30#fw1#{...}). Wine resolves
# that name through the prefix's dosdevices folder; it is linked there to a
# folder with the printer's two pipes as FIFOs, PIPE00 (the host writes) and
# PIPE01 (the host reads). The test plays the printer on them, reaching the
# folder as FW_USB_PRINTER_DIR (a Unix path) and the name as
# FW_USB_PRINTER_DEVICE.
set -uo pipefail
prefix=$1
device=$2
shift 2
dir=$(mktemp -d "${TMPDIR:-/tmp}/fw-usb-printer.XXXXXX")
mkfifo "$dir/PIPE00" "$dir/PIPE01"
link="$prefix/dosdevices/$device"
ln -sfn "$dir" "$link"
FW_USB_PRINTER_DIR="$dir" FW_USB_PRINTER_DEVICE="$device" "$@"
code=$?
rm -f "$link"
rm -rf "$dir"
exit "$code"
