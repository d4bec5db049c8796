#!/usr/bin/env bash
# Draws the window's two compiled-in pictures: the square logo (PNG) and the 468x60 banner (JPEG).
# Needs ImageMagick and the DejaVu fonts; the results are committed under src/resources/.
set -euo pipefail

out="${1:-$(dirname "$0")/../src/resources}"
font_bold=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
font=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf

# Logo: a rounded dark-blue tile with a faceted gold "M" emblem and a small "3".
convert -size 128x128 radial-gradient:'#2d5f9a'-'#0c1d36' \
  \( -size 128x128 xc:black -fill white -draw "roundrectangle 0,0 127,127 22,22" \) \
  -alpha off -compose CopyOpacity -composite -compose over \
  -fill '#f2c14e' -stroke '#8a5a12' -strokewidth 2 \
  -draw "polygon 22,98 22,30 40,30 64,64 88,30 106,30 106,98 90,98 90,58 64,92 38,58 38,98" \
  -fill '#ffe7a3' -stroke none -draw "polygon 22,30 40,30 64,64 64,92 38,58 38,98 22,98" \
  -fill white -font "$font_bold" -pointsize 22 -gravity southeast -annotate +8+2 "3" \
  -strip "$out/morvane_logo.png"

# Banner: night-sky gradient, a band of light, the product name and a tagline.
convert -size 468x60 gradient:'#0c1d36'-'#2d5f9a' -rotate 0 \
  \( -size 468x60 xc:none -fill 'rgba(255,255,255,0.08)' \
     -draw "polygon 300,0 360,0 300,60 240,60" -draw "polygon 380,0 400,0 340,60 320,60" \) \
  -composite \
  -fill '#f2c14e' -stroke '#8a5a12' -strokewidth 1 \
  -draw "polygon 14,46 14,14 22,14 32,30 42,14 50,14 50,46 43,46 43,27 32,43 21,27 21,46" \
  -stroke none -fill white -font "$font_bold" -pointsize 24 -gravity northwest \
  -annotate +62+8 "MORVANE 3" \
  -fill '#c9d8ec' -font "$font" -pointsize 11 -annotate +63+38 "The adventure continues. Keeping your client up to date." \
  -quality 90 -strip "$out/morvane_banner.jpg"
