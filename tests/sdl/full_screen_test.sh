#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# brin --fullscreen on a laptop's 1366x768 and a 1920x1080 screen, in a virtual X display
# with a window manager: the picture fills the screen's height at 4:3 between black bars, a
# click marks the tile under the pointer, Escape ends the game with status 0 and full screen
# is remembered. Nothing of ALSA's reaches the terminal.
#   full_screen_test.sh BRIN LAUNCHER DATA_DIR
# Exits 77 (skipped) only when no X server can be started. BRIN_KEEP_TEST=DIR keeps the
# screenshots there.
set -euo pipefail
# One virtual display for each screen: the script runs again inside each, told which.
if [ -z "${BRIN_XVFB:-}" ]; then
  for screen in 1366x768 1920x1080; do
    bash "$(dirname "$0")/with_xvfb.sh" --screen "${screen}x24" bash "$0" "$@" "$screen"
  done
  exit 0
fi
brin=$(readlink -f "$1")
launcher=$(readlink -f "$2")
data=$(readlink -f "$3")

source "$(dirname "$0")/window_script.sh" import convert openbox
unset SDL_AUDIODRIVER  # the machine's own sound, or none

# ---- looking at the screen ----

# The mean of the red, green and blue levels (0-1) of a region WxH+X+Y, "r g b".
mean_rgb() { convert "$1" -crop "$2" +repage -format '%[fx:mean.r] %[fx:mean.g] %[fx:mean.b]\n' info:; }

# Whether a level is in play: some cell shows the countdown's red box (96x40 at +20+20).
in_play() {
  convert "$1" -crop "$2" +repage -resize 640x480! -crop 160x96 +repage -crop 96x40+20+20 +repage \
    -fuzz 25% -fill black +opaque '#FF0000' -fill white -opaque '#FF0000' -format '%[fx:mean]\n' info: |
    awk '$1 > 0.3 { found = 1 } END { exit !found }'
}

# How many of 16 points along the top and bottom edges of cell $2 show colour $3 (yellow or
# red) on a screen shot where the picture is s times larger from x0. The 1-pixel line,
# smoothed, lies within the screen pixels under it and its neighbours, blended with them.
frame_points() {
  local shot=$1 cell=$2 left top n=0 i x y px test
  left=$((160 * (cell % 4)))
  top=$((96 * (cell / 4)))
  case $3 in
    yellow) test='r > 0.6 && g > 0.6 && b < 0.25' ;;
    red) test='r > 0.6 && g < 0.35 && b < 0.35' ;;
  esac
  for i in $(seq 0 7); do
    for y in $top $((top + 96)); do
      x=$((left + 20 + 15 * i))
      px=$(awk -v x="$x" -v y="$y" -v s="$s" -v x0="$x0" 'BEGIN { printf "3x3+%d+%d", x0 + (x + 0.5) * s - 1, (y + 0.5) * s - 1 }')
      [ "$(convert "$shot" -crop "$px" +repage -fx "$test ? 1 : 0" -format '%[fx:maxima]' info:)" = 1 ] && n=$((n + 1))
    done
  done
  echo "$n"
}

# ---- one screen ----

play_full_screen() {  # WIDTH HEIGHT
  local w=$1 h=$2 status
  openbox --sm-disable >/dev/null 2>&1 &
  pids+=($!)
  # What xdotool's windowactivate asks for: openbox names its check window before this list.
  wm_ready() { xprop -root _NET_SUPPORTED 2>/dev/null | grep -q _NET_ACTIVE_WINDOW; }
  wait_until 60 "openbox did not start" wm_ready

  # The picture's place: the screen's height, 4:3, centred.
  s=$(awk -v h="$h" 'BEGIN { print h / 480 }')
  pw=$((h * 4 / 3))
  x0=$(((w - pw) / 2))
  local picture="${pw}x$h+$x0+0"

  export XDG_DATA_HOME=$work/data-$w XDG_CONFIG_HOME=$work/config-$w XDG_STATE_HOME=$work/state-$w
  BRIN_EXE="$brin" BRIN_DATA="$data" "$launcher" --fullscreen >"$work/brin.out" 2>"$work/brin.err" &
  local game=$!
  pids+=($game)
  local window
  window=$(brin_window) || fail "no brin window ($(kill -0 "$game" 2>/dev/null && echo running || echo ended)): $(cat "$work/brin.out" "$work/brin.err")"
  xdo windowactivate --sync "$window"
  xdo mousemove --sync $((w - 1)) $((h - 1))
  local deadline=$((SECONDS + 120))
  until import -window root "$work/screen.png" 2>/dev/null && in_play "$work/screen.png" "$picture"; do
    [ $SECONDS -lt $deadline ] || fail "brin never reached a level in 120 s at ${w}x$h"
    kill -0 "$game" 2>/dev/null || fail "brin ended early: $(cat "$work/brin.out" "$work/brin.err")"
    sleep 0.5
  done
  echo "[$SECONDS s] ${w}x$h: in play"

  # Cell 5 is marked by a click at picture (240, 140); then the pointer moves to cell 10.
  to_screen() { awk -v x="$1" -v y="$2" -v s="$s" -v x0="$x0" 'BEGIN { printf "%d %d", x0 + (x + 0.5) * s, (y + 0.5) * s }'; }
  # shellcheck disable=SC2046
  xdo mousemove --sync $(to_screen 240 140)
  sleep 0.5
  xdo click 1
  sleep 1
  # shellcheck disable=SC2046
  xdo mousemove --sync $(to_screen 400 250)
  sleep 0.5
  # Leaving the marked cell erased its frame with the cursor's; the next move draws it again.
  # shellcheck disable=SC2046
  xdo mousemove --sync $(to_screen 410 260)
  # The shot also as ImageMagick's own pixel cache, which each of the many looks below reads
  # without decoding the whole screen again: on a busy machine that decoding took minutes.
  shows_the_frames() {
    import -window root "$work/screen.png" 2>/dev/null && convert "$work/screen.png" "$work/screen.mpc" &&
      [ "$(frame_points "$work/screen.mpc" 5 yellow)" -ge 12 ] && [ "$(frame_points "$work/screen.mpc" 10 red)" -ge 12 ]
  }
  wait_until 60 "the click did not mark cell 5, or the cursor frame is not on cell 10, at ${w}x$h" shows_the_frames
  [ -z "${BRIN_KEEP_TEST:-}" ] || cp "$work/screen.png" "$BRIN_KEEP_TEST/full-screen-${w}x$h.png"

  # Ended before the screen is looked at: on a busy machine that takes long enough for the
  # level's minute to run out, and Escape would then come after the level.
  xdo key Escape
  timeout 60 tail --pid="$game" -f /dev/null || fail "brin did not end within 60 s of Escape"
  status=0
  wait "$game" || status=$?
  [ "$status" -eq 0 ] || fail "brin ended with status $status: $(cat "$work/brin.err")"

  # Black bars beside the picture, the picture from the top row to the bottom one.
  local bar=$((x0 > 0 ? x0 : 1))
  read -r r g b < <(mean_rgb "$work/screen.mpc" "${bar}x$h+0+0")
  echo "left bar: mean $r $g $b"
  awk -v r="$r" -v g="$g" -v b="$b" 'BEGIN { exit !(r + g + b == 0) }' || fail "the left bar is not black"
  read -r r g b < <(mean_rgb "$work/screen.mpc" "${bar}x$h+$((x0 + pw))+0")
  awk -v r="$r" -v g="$g" -v b="$b" 'BEGIN { exit !(r + g + b == 0) }' || fail "the right bar is not black"
  for row in 0 $((h - 1)); do
    read -r r g b < <(mean_rgb "$work/screen.mpc" "${pw}x1+$x0+$row")
    echo "row $row of the picture: mean $r $g $b"
    awk -v r="$r" -v g="$g" -v b="$b" 'BEGIN { exit !(r + g + b > 0.1) }' || fail "row $row is black: the picture does not fill the height"
  done
  for column in $x0 $((x0 + pw - 1)); do
    read -r r g b < <(mean_rgb "$work/screen.mpc" "1x$h+$column+0")
    awk -v r="$r" -v g="$g" -v b="$b" 'BEGIN { exit !(r + g + b > 0.1) }' || fail "column $column is black: the picture is not where it should be"
  done

  # The click marked cell 5 and no other; the cursor frame followed the pointer to cell 10.
  local n
  n=$(frame_points "$work/screen.mpc" 5 yellow)
  echo "cell 5: $n of 16 points of its frame yellow"
  [ "$n" -ge 12 ] || fail "the click did not mark cell 5 at ${w}x$h"
  for other in 0 2 4 6 8; do
    n=$(frame_points "$work/screen.mpc" $other yellow)
    [ "$n" -le 4 ] || fail "cell $other looks marked ($n of 16 points yellow) at ${w}x$h"
  done
  n=$(frame_points "$work/screen.mpc" 10 red)
  echo "cell 10: $n of 16 points of its frame red"
  [ "$n" -ge 12 ] || fail "the cursor frame is not on cell 10 at ${w}x$h"

  grep -q '^fullscreen=1$' "$XDG_CONFIG_HOME/brin/brin.conf" || fail "full screen was not remembered"
  if grep -q 'ALSA' "$work/brin.err"; then fail "ALSA's messages reached the terminal: $(head -3 "$work/brin.err")"; fi
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  pids=()
}

screen=$4
play_full_screen "${screen%x*}" "${screen#*x}"
echo "PASS at $screen"
