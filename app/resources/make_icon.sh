#!/usr/bin/env bash
# Draws the program's icon (the receiver's display on the banner's colours).
# Run again after changing it; the PNG is committed.
set -euo pipefail
cd "$(dirname "$0")"
font=/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf
/usr/bin/convert -size 64x64 'gradient:#0d2b4e-#2a6296' \
  -fill '#1b1d21' -stroke '#3a3f47' -draw 'roundrectangle 4,18 60,46 5,5' \
  -stroke none -fill '#060708' -draw 'roundrectangle 10,24 54,40 2,2' \
  -fill '#37e07a' -font "$font" -pointsize 13 -draw "text 13,37 'M9 ↑'" \
  -fill '#ff3b30' -draw 'circle 56,43 57.5,43' \
  -strip stellixup.png
