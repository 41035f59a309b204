#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Plays the installed brin in a virtual X display, driven by real X events from xdotool,
# and holds its window up against what brin-sim shows at the same moments of a game:
# it reaches a level, Enter shows the help page, a key closes it, a click marks a cell,
# Escape ends it with status 0. Then SIGTERM during the title ends it with status 0 too.
#   window_game_test.sh CMAKE BUILD_DIR BRIN_SIM GAME_FOLDER
# GAME_FOLDER makes a folder of game data and prints its path; the same data is put in the
# player's folder before brin starts, where the launcher keeps it.
# Exits 77 (skipped) only when no X server can be started. BRIN_KEEP_TEST=1 keeps the shots.
set -euo pipefail
# A virtual display of its own: the script runs again inside one.
[ -n "${BRIN_XVFB:-}" ] || exec bash "$(dirname "$0")/with_xvfb.sh" --screen 1400x1050x24 bash "$0" "$@"
cmake=$1
build=$2
brin_sim=$3
game_folder=$4

source "$(dirname "$0")/window_script.sh" import convert compare

"$cmake" --install "$build" --prefix "$work/prefix" >/dev/null
data=$("$game_folder")
mkdir -p "$work/simdata" "$work/xdg/brin"
cp "$data"/*.pcx "$data"/*.fon "$work/simdata/"
cp "$data"/*.pcx "$data"/*.fon "$work/xdg/brin/"
rm -rf "$data"

# ---- looking at pictures ----

# The 640x480 picture of a window shot taken at twice the size.
picture_of() { convert "$1" -sample 640x480 "$2"; }

# Whether a level is in play: some cell shows the countdown's red box (96x40 at +20+20),
# red where the digits are not.
in_play() {
  convert "$1" -crop 160x96 +repage -crop 96x40+20+20 +repage \
    -fill black +opaque '#FF0000' -fill white -opaque '#FF0000' -format '%[fx:mean]\n' info: |
    awk '$1 > 0.3 { found = 1 } END { exit !found }'
}

# Pixels that differ between two pictures in a region WxH+X+Y.
differing() {
  convert "$1" -crop "$3" +repage "$work/a.png"
  convert "$2" -crop "$3" +repage "$work/b.png"
  compare -metric AE "$work/a.png" "$work/b.png" null: 2>&1 || true
}

colour_at() { convert "$1" -format "%[hex:p{$2,$3}]" info:; }

# The grid lines, without the outer ones: every column x = 160, 320, 480, row y = 96 ... 384.
grid_differences() {
  local total=0 n line
  for line in 1x480+160+0 1x480+320+0 1x480+480+0 640x1+0+96 640x1+0+192 640x1+0+288 640x1+0+384; do
    n=$(differing "$1" "$2" "$line")
    total=$((total + n))
  done
  echo "$total"
}

# ---- the simulator: when play begins, and the shots of the same moments ----

mkdir -p "$work/sim1" "$work/sim2"
for tenth in $(seq 100 5 900); do echo "$((tenth / 10)).$((tenth % 10)) shot at$tenth"; done >"$work/find.txt"
echo "90.5 end" >>"$work/find.txt"
(cd "$work/simdata" && "$brin_sim" --script "$work/find.txt" --out "$work/sim1" --limit 100 >/dev/null)
start=""
for tenth in $(seq 100 5 900); do
  if in_play "$work/sim1/at$tenth.png"; then start=$tenth; break; fi
done
[ -n "$start" ] || fail "brin-sim never reached a level in 90 s"
echo "[$SECONDS s] brin-sim in play at $((start / 10)).$((start % 10)) s"
t() { awk -v s="$start" -v d="$1" -v e="${2:-0}" 'BEGIN { printf "%.1f", s / 10 + 1 + d + e }'; }
sim_click() {  # at moment $1 moves to ($2, $3), presses and releases the left button
  echo "$(t "$1") mouse $2 $3 0"
  echo "$(t "$1" 0.2) mouse $2 $3 4"
  echo "$(t "$1" 0.4) mouse $2 $3 0"
}
# Picture (240, 140) is in cell 5, (400, 250) in cell 10.
{
  echo "0 mouse 600 440 0"
  echo "$(t 0) shot level"
  echo "$(t 0.5) key 28"
  echo "$(t 1.5) shot help"
  echo "$(t 2) key 45"
  echo "$(t 3) shot closed"
  sim_click 3.5 240 140
  sim_click 4.5 400 250
  echo "$(t 6) shot swapped"
  sim_click 6.5 240 140
  echo "$(t 7.5) mouse 400 250 0"
  echo "$(t 8) mouse 410 260 0"
  echo "$(t 8.5) shot marked"
  echo "$(t 9) key 1"
  echo "$(t 11) end"
} >"$work/play.txt"
(cd "$work/simdata" && "$brin_sim" --script "$work/play.txt" --out "$work/sim2" --limit 200 >/dev/null)

# ---- the real thing ----

XDG_DATA_HOME="$work/xdg" "$work/prefix/bin/brin" >"$work/brin.out" 2>"$work/brin.err" &
brin=$!
pids+=($brin)
window=$(brin_window) || fail "no brin window: $(cat "$work/brin.err")"
xdo windowmove --sync "$window" 0 0
xdo windowsize --sync "$window" 1280 960
xdo windowfocus --sync "$window"
xdo mousemove --sync 1200 880

shoot() {
  import -window "$window" "$work/window.png"
  picture_of "$work/window.png" "$work/$1.png"
}

echo "[$SECONDS s] brin started"
deadline=$((SECONDS + 120))
until shoot level && in_play "$work/level.png"; do
  [ $SECONDS -lt $deadline ] || fail "brin never reached a level in 120 s"
  kill -0 "$brin" 2>/dev/null || fail "brin ended early: $(cat "$work/brin.out" "$work/brin.err")"
  sleep 0.5
done
sleep 1
shoot level

echo "[$SECONDS s] in play"
help_shown() { shoot help && [ "$(differing "$work/help.png" "$work/sim2/help.png" 320x192+0+0)" -lt 614 ]; }
help_closed() { shoot closed && [ "$(differing "$work/closed.png" "$work/level.png" 320x192+0+0)" -lt 3000 ]; }
xdo key Return
wait_until 60 "the help page differs from brin-sim's" help_shown
xdo key x
wait_until 60 "the help page did not close, or left the picture changed" help_closed
click_at() {  # a picture position, in the window at twice the size
  xdo mousemove --sync $((2 * $1)) $((2 * $2))
  sleep 0.3
  xdo click 1
  sleep 0.7
}
click_at 240 140  # mark cell 5
click_at 400 250  # swap it with cell 10
sleep 1
shoot swapped
click_at 240 140  # mark cell 5 again
xdo mousemove --sync 800 500
sleep 0.5
xdo mousemove --sync 820 520  # leaving the marked cell erased its frame: a redraw brings it back
# The mark frame on cell 5 and the cursor's on cell 10, in brin-sim's colours.
as_brin_sim() {
  local at
  for at in "240 96" "160 140" "240 192" "400 192"; do
    [ "$(colour_at "$work/marked.png" $at)" = "$(colour_at "$work/sim2/marked.png" $at)" ] || return 1
  done
}
marked() { shoot marked && as_brin_sim; }
wait_until 60 "the mark and cursor frames differ from brin-sim's" marked
xdo key Escape

status=0
timeout 60 tail --pid="$brin" -f /dev/null || fail "brin did not end within 60 s of Escape"
wait "$brin" || status=$?
[ "$status" -eq 0 ] || fail "brin ended with status $status: $(cat "$work/brin.err")"

# ---- what the window showed against the simulator ----

in_play "$work/sim2/level.png" || fail "brin-sim was not in play at the moment chosen"
n=$(grid_differences "$work/swapped.png" "$work/sim2/swapped.png")
echo "grid lines after a swap: $n of 2880 pixels differ from brin-sim"
[ "$n" -lt 100 ] || fail "the grid lines differ from brin-sim's"

n=$(differing "$work/help.png" "$work/sim2/help.png" 320x192+0+0)
echo "help page: $n of 61440 pixels differ from brin-sim"
[ "$n" -lt 614 ] || fail "the help page differs from brin-sim's"

n=$(differing "$work/closed.png" "$work/level.png" 320x192+0+0)
echo "help closed: $n of 61440 pixels differ from before it opened"
[ "$n" -lt 3000 ] || fail "the help page did not close, or left the picture changed"

for at in "240 96" "160 140" "240 192"; do  # the mark frame on cell 5, where the cursor's isn't
  real=$(colour_at "$work/marked.png" $at)
  sim=$(colour_at "$work/sim2/marked.png" $at)
  echo "mark frame at ($at): $real, brin-sim $sim"
  [ "$sim" != FFFFFF ] || fail "brin-sim shows no mark frame"
  [ "$real" = "$sim" ] || fail "the mark frame's colour differs from brin-sim's"
done
real=$(colour_at "$work/marked.png" 400 192)
sim=$(colour_at "$work/sim2/marked.png" 400 192)
echo "cursor frame at (400 192): $real, brin-sim $sim"
[ "$real" = "$sim" ] || fail "the cursor frame's colour differs from brin-sim's"
[ "$(colour_at "$work/marked.png" 240 96)" != "$(colour_at "$work/marked.png" 400 192)" ] ||
  fail "the mark and cursor frames look the same"

# ---- SIGTERM ends it as Escape does ----

XDG_DATA_HOME="$work/xdg" "$work/prefix/bin/brin" >/dev/null 2>"$work/brin2.err" &
brin=$!
pids+=($brin)
brin_window >/dev/null || fail "no second brin window: $(kill -0 "$brin" 2>&1 || echo "it ended")$(cat "$work/brin2.err")"
sleep 1
kill -TERM "$brin"
status=0
wait "$brin" || status=$?
[ "$status" -eq 0 ] || fail "SIGTERM ended brin with status $status"
echo "PASS"
