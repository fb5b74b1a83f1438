#!/usr/bin/env bash
# The Debian package: built as scripts/package.sh builds it, its contents and
# metadata checked with dpkg-deb, lintian without errors, then installed into
# a throwaway root and removed again.
#   debian_package.sh [BUILD_DIR]     (default build/deb)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$root"
build="${1:-build/deb}"
t=$(mktemp -d)
trap 'rm -rf "$t"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --preset deb -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc)"
rm -rf "$build/package"
(cd "$build" && cpack -G DEB >"$t/cpack.log") || { cat "$t/cpack.log"; fail "cpack"; }
deb=$(ls "$build"/package/firmware-downloader_*.deb)
echo "package: $deb"

# Metadata: the dependencies are computed from the programs and the library.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = firmware-downloader ] || fail "Package: $(field Package)"
version=$(sed -n 's/^project(FirmwareDownloader VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), not $version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture: $(field Architecture)"
depends=$(field Depends)
# The serial port is on termios: nothing of Qt Serial Port is needed.
! grep -q "libqt6serialport" <<<"$depends" || fail "Depends names Qt Serial Port: $depends"
for d in libc6 libqt6widgets6 libsmbclient libudev1 qt6-qpa-plugins; do
  grep -q "\b$d\b" <<<"$depends" || fail "Depends lacks $d: $depends"
done
[ -n "$(field Maintainer)" ] && [ -n "$(field Description)" ] || fail "Maintainer or Description missing"

# Contents: the programs, the library beside them, the desktop's files, the
# udev rule before 73-seat-late; nothing of the tests or tools.
dpkg-deb -c "$deb" | awk '{print $6 ($7 ? " " $7 " " $8 : "")}' | sed 's|^\./|/|' >"$t/contents"
libdir=$(sed -n 's|^\(/usr/lib/.*\)/firmware-downloader/Firmware$|\1|p' "$t/contents")
[ -n "$libdir" ] || fail "no Firmware in a private folder: $(cat "$t/contents")"
for f in "/usr/bin/Firmware -> ..${libdir#/usr}/firmware-downloader/Firmware" \
         "/usr/bin/firmware-cli -> ..${libdir#/usr}/firmware-downloader/firmware-cli" \
         "$libdir/firmware-downloader/firmware-cli" "$libdir/firmware-downloader/libTAVLIB.so" \
         /usr/share/applications/firmware-downloader.desktop /usr/share/metainfo/firmware-downloader.metainfo.xml \
         /usr/share/icons/hicolor/16x16/apps/firmware-downloader.png /usr/share/icons/hicolor/24x24/apps/firmware-downloader.png \
         /usr/share/icons/hicolor/32x32/apps/firmware-downloader.png /usr/share/icons/hicolor/48x48/apps/firmware-downloader.png \
         /usr/share/icons/hicolor/scalable/apps/firmware-downloader.svg \
         /usr/share/man/man1/Firmware.1.gz /usr/share/man/man1/firmware-cli.1.gz \
         /usr/share/doc/firmware-downloader/copyright /usr/share/doc/firmware-downloader/changelog.gz \
         /usr/lib/udev/rules.d/70-firmware-downloader.rules /usr/share/firmware-downloader/K20T/FIRMWARE_90.DPX; do
  grep -qxF "$f" "$t/contents" || fail "missing: $f"
done
! grep -Ei 'test|bench|fuzz|printer-sim|firmware-demo|make-samples|standin' "$t/contents" || fail "tests or tools packaged"
dpkg-deb -e "$deb" "$t/control"
for s in postinst postrm; do
  [ -x "$t/control/$s" ] && sh -n "$t/control/$s" || fail "maintainer script $s"
done

status=0
lintian --fail-on error --tag-display-limit 0 "$deb" >"$t/lintian.log" 2>&1 || status=$?
grep -v '^running with root' "$t/lintian.log" || true
[ "$status" -eq 0 ] || fail "lintian"

# Installed into a throwaway root and removed; the maintainer scripts run
# there too (they leave udev alone outside the real root).
r="$t/root"
mkdir -p "$r/var/lib/dpkg/info" "$r/var/lib/dpkg/updates"
touch "$r/var/lib/dpkg/status"
dpkg=(dpkg --root="$r" --force-script-chrootless --force-not-root --log=/dev/null)
"${dpkg[@]}" --force-depends -i "$deb" >"$t/dpkg.log" 2>&1 || { cat "$t/dpkg.log"; fail "dpkg -i"; }
status=$("${dpkg[@]}" -s firmware-downloader)
grep -qx 'Status: install ok installed' <<<"$status" || fail "not installed: $status"
XDG_CONFIG_HOME="$t/config" "$r/usr/bin/firmware-cli" --version | grep -qx "firmware-cli $version" || fail "firmware-cli"
list=$("$r/usr/bin/firmware-cli" list 2>&1)
! grep -q "could not be loaded" <<<"$list" || fail "the installed firmware-cli: $list"
help=$(XDG_CONFIG_HOME="$t/config" "$r/usr/bin/Firmware" --help)
grep -q "packages  $r/usr/share/firmware-downloader/K20T" <<<"$help" \
  || fail "the installed Firmware does not start in the installed samples"
"${dpkg[@]}" --purge firmware-downloader >"$t/dpkg.log" 2>&1 || { cat "$t/dpkg.log"; fail "dpkg --purge"; }
left=$(find "$r" -mindepth 1 ! -path "$r/var*" ! -type d)
[ -z "$left" ] || fail "left after removal: $left"
echo "Debian package: all checks passed"
