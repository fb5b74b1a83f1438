#!/usr/bin/env bash
# Renders the program's own icon (48, 32, 24 and 16 px; the Win32 build makes
# Firmware.ico from them) and the logo picture beside the window's controls.
# Needs ImageMagick and fonts-liberation. Output: app/resources/.
set -euo pipefail
out="$(cd "$(dirname "$0")/../.." && pwd)/app/resources"
mkdir -p "$out"
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT

# Icon master at 256 px: a receipt printer with a download arrow.
convert -size 256x256 xc:none \
  -fill '#1f3a5f' -draw 'roundrectangle 8,8 248,248 40,40' \
  -fill '#f4f4f4' -draw 'rectangle 80,40 176,120' \
  -stroke '#9aa7b5' -strokewidth 6 -draw 'line 96,64 160,64' -draw 'line 96,88 150,88' \
  -stroke none -fill '#d7dde4' -draw 'roundrectangle 36,112 220,200 18,18' \
  -fill '#1f3a5f' -draw 'rectangle 70,150 186,162' \
  -fill '#3ccf6e' -draw 'polygon 128,236 92,196 114,196 114,168 142,168 142,196 164,196' \
  "$tmp/icon-256.png"
for s in 48 32 24 16; do
  convert "$tmp/icon-256.png" -filter Lanczos -resize ${s}x${s} "PNG32:$out/icon-$s.png"
done

# Logo: 205 x 405 px, a tall banner.
font=$(fc-match -f '%{file}' 'Liberation Sans:bold')
convert -size 205x405 gradient:'#16324f'-'#2d7d9a' \
  -fill '#ffffff20' -draw 'circle 170,60 250,60' -draw 'circle 20,380 110,380' \
  -fill '#f4f4f4' -draw 'rectangle 62,86 142,150' \
  -stroke '#9aa7b5' -strokewidth 4 -draw 'line 74,104 130,104' -draw 'line 74,122 120,122' \
  -stroke none -fill '#d7dde4' -draw 'roundrectangle 30,140 175,210 14,14' \
  -fill '#16324f' -draw 'rectangle 58,170 147,180' \
  -fill '#3ccf6e' -draw 'polygon 102,262 72,228 90,228 90,206 114,206 114,228 132,228' \
  -font "$font" -fill white -gravity north \
  -pointsize 26 -annotate +0+290 'Firmware' \
  -pointsize 20 -annotate +0+322 'Downloader' \
  -pointsize 14 -fill '#bfe6f2' -annotate +0+360 'receipt printers' \
  -quality 92 "$out/logo.jpg"
echo "artwork written to $out"
