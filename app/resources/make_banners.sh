#!/usr/bin/env bash
# Draws the two banner pictures at the bottom of the wizard window: a strip
# that is stretched across the window and a picture of the receiver on the
# same background. Run again after changing a colour; the JPEGs are committed.
set -euo pipefail
cd "$(dirname "$0")"
convert=/usr/bin/convert
font=/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf
top='#0d2b4e'
bottom='#2a6296'

# The strip: the background gradient under a thin light line.
"$convert" -size 4x68 "gradient:${top}-${bottom}" \
  -fill '#6fa8dc' -draw 'line 0,0 3,0' \
  -quality 92 -sampling-factor 1x1 -strip banner_strip.jpg

# The receiver: a slim black box with a display, buttons and a power light,
# standing on its reflection.
"$convert" -size 196x68 "gradient:${top}-${bottom}" \
  -fill '#6fa8dc' -draw 'line 0,0 195,0' \
  -fill '#0a1a2a80' -draw 'roundrectangle 22,50 186,58 4,4' \
  -fill '#1b1d21' -stroke '#3a3f47' -draw 'roundrectangle 18,20 182,50 5,5' \
  -stroke none -fill '#2c3038' -draw 'rectangle 22,23 178,27' \
  -fill '#060708' -draw 'roundrectangle 92,30 140,43 2,2' \
  -fill '#37e07a' -font "$font" -pointsize 10 -draw "text 99,41 '88:88'" \
  -fill '#c8ccd2' -pointsize 8 -draw "text 26,41 'STELLIX'" \
  -fill '#8d939c' -pointsize 7 -draw "text 26,48 'M9'" \
  -fill '#4a4f58' -draw 'circle 152,37 155,37' -draw 'circle 163,37 166,37' \
  -fill '#ff3b30' -draw 'circle 174,37 175.5,37' \
  -fill '#ffffff30' -draw 'rectangle 18,20 182,21' \
  -quality 92 -sampling-factor 1x1 -strip banner_receiver.jpg
