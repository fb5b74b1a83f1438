#!/usr/bin/env bash
# The program installed with cmake --install into a temporary prefix, then
# made read-only as an installed program's folder is.
#   installed_program.sh BUILD_DIR STORE_SETTINGS_HELPER
set -euo pipefail
build="$1" helper="$2"
t=$(mktemp -d)
trap 'chmod -R u+w "$t"; rm -rf "$t"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix="$t/prefix"
cmake --install "$build" --prefix "$prefix" >"$t/install.log"
program_dir=$(dirname "$(readlink -f "$prefix/bin/Firmware")")
[ "$program_dir" = "$(dirname "$(readlink -f "$prefix/bin/firmware-cli")")" ] || fail "the two programs are apart"
[ -f "$program_dir/libTAVLIB.so" ] || fail "libTAVLIB.so is not beside the program"
cp "$helper" "$program_dir/"
chmod -R a-w "$prefix"

# Nothing of the tests, the benchmarks or the tools.
extra=$(find "$prefix" -type f \( -name '*test*' -o -name '*bench*' -o -name 'printer-sim' -o -name 'firmware-demo' \
  -o -name 'make-samples' -o -name '*fuzz*' \) ! -name "$(basename "$helper")")
[ -z "$extra" ] || fail "installed: $extra"

export XDG_CONFIG_HOME="$t/config" QT_QPA_PLATFORM=offscreen
"$prefix/bin/Firmware" --version | grep -qx 'Firmware [0-9.]*' || fail "Firmware --version"
help=$("$prefix/bin/Firmware" --help)
grep -qF "settings  $t/config/firmware-downloader/Firmware.ini" <<<"$help" || fail "settings not in XDG_CONFIG_HOME: $help"
samples=$(sed -n 's/^  packages  \(.*\) (where.*/\1/p' <<<"$help")
ls "$samples"/*.DPX >/dev/null 2>&1 || fail "the Open dialog would start where no samples are: $samples"

# firmware-cli finds the library, and COMn through the links beside the
# settings file.
mkdir -p "$t/config/firmware-downloader/ports"
touch "$t/printer"
ln -s "$t/printer" "$t/config/firmware-downloader/ports/COM3"
list=$("$prefix/bin/firmware-cli" list 2>&1)
! grep -q "could not be loaded" <<<"$list" || fail "firmware-cli: $list"
grep -q "^  COM3   $t/printer" <<<"$list" || fail "COM3 is not the link beside the settings: $list"
grep -q "^  COM3   $t/printer .*is a regular file" <<<"$list" || fail "COM3's link is not marked: $list"

# firmware-cli has no window, and nothing of Qt (ldd is seen to work on Firmware).
# (ldd's output is taken whole first: grep -q leaving early would end ldd
# with SIGPIPE, which pipefail reports as a failure.)
window_libs=$(ldd "$program_dir/Firmware") cli_libs=$(ldd "$program_dir/firmware-cli")
grep -q libQt6Widgets <<<"$window_libs" || fail "ldd does not show Firmware's Qt: $window_libs"
! grep -q libQt6 <<<"$cli_libs" || fail "firmware-cli links Qt: $(grep libQt6 <<<"$cli_libs")"
rm -r "$t/config"

# The window starts and stays up until closed; starting writes nothing.
"$prefix/bin/Firmware" >"$t/window.log" 2>&1 &
pid=$!
sleep 3
kill -0 "$pid" 2>/dev/null || { cat "$t/window.log" >&2; fail "Firmware ended by itself"; }
kill "$pid"; wait "$pid" 2>/dev/null || true
[ ! -e "$t/config" ] || fail "starting the window wrote $(find "$t/config")"

# "&OK" stores the settings in a configuration folder made for them.
# (TAVLIB's diagnostic lines come first on standard output.)
stored=$("$program_dir/$(basename "$helper")" 10.9.8.7 | tail -n 1)
[ "$stored" = "$t/config/firmware-downloader/Firmware.ini" ] || fail "stored in $stored"
grep -q '^Interface=3' "$stored" && grep -q '^TcpIp=10.9.8.7' "$stored" || fail "settings: $(cat "$stored" 2>&1)"
[ "$(stat -c %a "$t/config/firmware-downloader")" = 700 ] || fail "the settings folder is open to others"
[ ! -e "$program_dir/Firmware.ini" ] || fail "a settings file in the program's folder"

desktop-file-validate "$prefix/share/applications/firmware-downloader.desktop" || fail "desktop entry"
appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/firmware-downloader.metainfo.xml" || fail "metainfo"
echo "installed program: all checks passed"
