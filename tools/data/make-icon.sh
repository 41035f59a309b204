#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Draws brin's icon: a sunset cut into 4 by 5 tiles, two of them swapped, one marked with the
# game's yellow frame. One drawing, on a 64x64 grid, written out twice: as SVG, and drawn by
# ImageMagick at 256x256 and scaled down to 128, 64 and 48 pixels.
#   make-icon.sh DIR      writes DIR/brin.svg and DIR/brin-{48,64,128,256}.png
set -euo pipefail
out=${1:?usage: make-icon.sh DIR}
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

sky_top='#1b2a6b' sky_bottom='#f08a24' sun='#ffe066' sea='#1f4e8c' glint='#ffd27a' hill='#2d6b3a'
grid='#101010' mark='#ffff00'
# Tiles are 16x13 on the 64 grid; the sun's left half (32,26) changes place with (0,52).
tile_w=16 tile_h=13 ax=32 ay=26 bx=0 by=52

# ---- SVG ----

half_ellipse() { echo "M $(($1 - $3)),$2 A $3,$4 0 0 1 $(($1 + $3)),$2 Z"; }
picture_svg() {
  cat <<EOF
    <g id="picture">
      <rect width="64" height="64" fill="url(#sky)"/>
      <circle cx="40" cy="30" r="10" fill="$sun"/>
      <rect y="40" width="64" height="24" fill="$sea"/>
      <rect x="34" y="42" width="13" height="2" fill="$glint"/>
      <rect x="37" y="47" width="7" height="2" fill="$glint"/>
      <path d="$(half_ellipse 8 52 22 12)" fill="$hill"/>
      <path d="$(half_ellipse 58 58 18 8)" fill="$hill"/>
    </g>
EOF
}
tile_svg() {  # shows the picture's tile at $3,$4 in the place of the tile at $1,$2
  echo "  <g clip-path=\"url(#tile$1_$2)\"><use xlink:href=\"#picture\" transform=\"translate($(($1 - $3)),$(($2 - $4)))\"/></g>"
}
{
  cat <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" width="64" height="64" viewBox="0 0 64 64">
  <defs>
    <linearGradient id="sky" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="$sky_top"/>
      <stop offset="1" stop-color="$sky_bottom"/>
    </linearGradient>
    <clipPath id="tile${ax}_${ay}"><rect x="$ax" y="$ay" width="$tile_w" height="$tile_h"/></clipPath>
    <clipPath id="tile${bx}_${by}"><rect x="$bx" y="$by" width="$tile_w" height="$tile_h"/></clipPath>
$(picture_svg)
  </defs>
  <use xlink:href="#picture"/>
$(tile_svg $ax $ay $bx $by)
$(tile_svg $bx $by $ax $ay)
  <path d="M 16.5,0 V 64 M 32.5,0 V 64 M 48.5,0 V 64 M 0,13.5 H 64 M 0,26.5 H 64 M 0,39.5 H 64 M 0,52.5 H 64"
        stroke="$grid" stroke-width="1" fill="none"/>
  <rect x="33.5" y="27.5" width="14" height="11" stroke="$mark" stroke-width="2" fill="none"/>
</svg>
EOF
} >"$out/brin.svg"

# ---- PNG: the same drawing at four times the size ----

s=4
convert -size $((64 * s))x$((64 * s)) gradient:"$sky_top"-"$sky_bottom" -affine $s,0,0,$s,0,0 \
  -fill "$sun" -draw 'circle 40,30 40,20' \
  -fill "$sea" -draw 'rectangle 0,40 64,64' \
  -fill "$glint" -draw 'rectangle 34,42 47,44' -draw 'rectangle 37,47 44,49' \
  -fill "$hill" -draw 'ellipse 8,52 22,12 180,360' -draw 'ellipse 58,58 18,8 180,360' \
  "$tmp/picture.png"
crop() { convert "$tmp/picture.png" -crop $((tile_w * s))x$((tile_h * s))+$(($1 * s))+$(($2 * s)) +repage "$3"; }
crop $ax $ay "$tmp/a.png"
crop $bx $by "$tmp/b.png"
convert "$tmp/picture.png" "$tmp/a.png" -geometry +$((bx * s))+$((by * s)) -composite \
  "$tmp/b.png" -geometry +$((ax * s))+$((ay * s)) -composite -affine $s,0,0,$s,0,0 \
  -fill none -stroke "$grid" -strokewidth 1 \
  -draw 'line 16.5,0 16.5,64' -draw 'line 32.5,0 32.5,64' -draw 'line 48.5,0 48.5,64' \
  -draw 'line 0,13.5 64,13.5' -draw 'line 0,26.5 64,26.5' -draw 'line 0,39.5 64,39.5' -draw 'line 0,52.5 64,52.5' \
  -stroke "$mark" -strokewidth 2 -draw 'rectangle 33.5,27.5 47.5,38.5' \
  -strip "$out/brin-256.png"
for size in 128 64 48; do
  convert "$out/brin-256.png" -filter Lanczos -resize ${size}x${size} -strip "$out/brin-$size.png"
done
