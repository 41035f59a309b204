#!/usr/bin/env bash
# Draws brin's 64x64 icon with ImageMagick: a sunset cut into 4 by 5 tiles, two of them
# swapped, one marked with the game's yellow frame.
#   make-icon.sh out.png
set -euo pipefail
out=${1:?usage: make-icon.sh out.png}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The picture: sky, sun, sea, hills.
convert -size 64x64 gradient:'#1b2a6b'-'#f08a24' \
  -fill '#ffe066' -draw 'circle 40,30 40,20' \
  -fill '#1f4e8c' -draw 'rectangle 0,40 63,63' \
  -fill '#ffd27a' -draw 'rectangle 34,42 46,43' -draw 'rectangle 37,47 43,48' \
  -fill '#2d6b3a' -draw 'ellipse 8,52 22,12 180,360' -draw 'ellipse 58,58 18,8 180,360' \
  "$tmp/picture.png"

# Swap the tile of the sun's left half with the bottom-left tile (16x13 tiles).
convert "$tmp/picture.png" -crop 16x13+32+26 +repage "$tmp/a.png"
convert "$tmp/picture.png" -crop 16x13+0+52 +repage "$tmp/b.png"
convert "$tmp/picture.png" "$tmp/a.png" -geometry +0+52 -composite \
  "$tmp/b.png" -geometry +32+26 -composite "$tmp/swapped.png"

# The grid, and the mark on one of the swapped tiles.
convert "$tmp/swapped.png" -fill none -stroke '#101010' -strokewidth 1 \
  -draw 'line 16,0 16,63' -draw 'line 32,0 32,63' -draw 'line 48,0 48,63' \
  -draw 'line 0,13 63,13' -draw 'line 0,26 63,26' -draw 'line 0,39 63,39' -draw 'line 0,52 63,52' \
  -stroke '#ffff00' -strokewidth 2 -draw 'rectangle 33,27 47,38' \
  -strip "$out"
