#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Recordings across back-ends, in a virtual X display of its own:
#  1. a game played in the window through XTest keys and clicks (the title, a level with a
#     swap, the help page, Escape), recorded, then replayed and checked by brin-sim;
#  2. a brin-sim script run, recorded, then replayed in the window, which checks every frame:
#     a recording with the pointer moved is refused at its first differing frame,
#     Escape ends a replay early, and a replay's folder never outlives it.
#   recording_window_test.sh BRIN BRIN_SIM GAME_FOLDER
# Nothing here waits on the machine's speed: each step waits for what it needs to see.
# Exits 77 (skipped) only when no X server can be started.
set -euo pipefail
# A virtual display of its own: the script runs again inside one.
[ -n "${BRIN_XVFB:-}" ] || exec bash "$(dirname "$0")/with_xvfb.sh" bash "$0" "$@"
brin=$1
brin_sim=$2
game_folder=$3

source "$(dirname "$0")/window_script.sh" import convert python3

data=$("$game_folder")
trap 'cleanup; rm -rf "$data"' EXIT

# Whether a level is in play: some cell shows the countdown's red box (96x40 at +20+20).
in_play() {
  convert "$1" -crop 160x96 +repage -crop 96x40+20+20 +repage \
    -fill black +opaque '#FF0000' -fill white -opaque '#FF0000' -format '%[fx:mean]\n' info: |
    awk '$1 > 0.3 { found = 1 } END { exit !found }'
}

# Starts brin in the data folder with the arguments given; its window id in $window.
start_brin() {
  (cd "$data" && exec "$brin" "$@") >"$work/brin.out" 2>"$work/brin.err" &
  pid=$!
  pids+=($pid)
  window=$(brin_window) || fail "no brin window: $(cat "$work/brin.err")"
  xdo windowmove --sync "$window" 0 0
  xdo windowfocus --sync "$window"
}

# Waits for brin to end by itself; its status in $status.
wait_brin() {
  timeout "$1" tail --pid="$pid" -f /dev/null || fail "brin did not end within $1 s"
  status=0
  wait "$pid" || status=$?
}

# ---- 1. the window recorded, the simulator replays ----

start_brin --record "$work/window.brinrec"
xdo mousemove --window "$window" 600 440
deadline=$((SECONDS + 120))
until import -window "$window" "$work/shot.png" && in_play "$work/shot.png"; do
  [ $SECONDS -lt $deadline ] || fail "brin never reached a level in 120 s"
  kill -0 "$pid" 2>/dev/null || fail "brin ended early: $(cat "$work/brin.err")"
  sleep 0.5
done
echo "[$SECONDS s] in play"
xdo key Return
sleep 1
xdo key x
sleep 1
for at in "240 140" "400 250"; do  # mark cell 5, then swap it with cell 10
  xdo mousemove --window "$window" $at
  sleep 0.3
  xdo click 1
  sleep 0.7
done
xdo key Escape
wait_brin 20
[ "$status" -eq 0 ] || fail "the recorded game ended with status $status: $(cat "$work/brin.err")"
[ -s "$work/window.brinrec" ] || fail "no recording was written"
cmp "$work/window.brinrec" "$work/state/brin/last.brinrec" || fail "last.brinrec is not the game just played"
(cd "$data" && "$brin_sim" --replay "$work/window.brinrec") || fail "brin-sim does not replay the window's game"
echo "[$SECONDS s] the window's game replayed by brin-sim"

# ---- 2. the simulator recorded, the window replays and checks ----

printf '%s\n' "0 mouse 600 440 0" "20 key 28" "21 key 45" "22 mouse 240 140 4" "22.2 mouse 240 140 0" \
  "23 mouse 400 250 4" "23.2 mouse 400 250 0" "24 key 1" >"$work/play.txt"
(cd "$data" && "$brin_sim" --script "$work/play.txt" --out "$work/sim" --record "$work/sim.brinrec" >/dev/null)
start_brin --replay "$work/sim.brinrec"
wait_brin 120
[ "$status" -eq 0 ] || fail "the window's replay of brin-sim's game ended with status $status: $(cat "$work/brin.err")"
cmp "$work/window.brinrec" "$work/state/brin/last.brinrec" || fail "a replay replaced the last game kept"
echo "[$SECONDS s] brin-sim's game replayed in the window"

# Its first half, as a crash leaves a file: the window plays it to its cut and says so.
head -c $(($(stat -c %s "$work/sim.brinrec") / 2)) "$work/sim.brinrec" >"$work/cut.brinrec"
start_brin --replay "$work/cut.brinrec"
wait_brin 120
[ "$status" -eq 3 ] || fail "the window's replay of a cut file ended with status $status: $(cat "$work/brin.err")"
grep -q "cut.brinrec: ends early, at " "$work/brin.err" || fail "the window did not say where the file ends: $(cat "$work/brin.err")"
echo "window: $(cat "$work/brin.err")"

# The first mouse record, (600, 440), moved to (100, 440): the pointer shows elsewhere.
python3 - "$work/sim.brinrec" "$work/moved.brinrec" <<'PY'
import sys, zlib
file = open(sys.argv[1], "rb").read()
packed, at = b"", 14
while at < len(file):  # blocks: length, CRC-32, their part of one zlib stream
    n = int.from_bytes(file[at:at + 4], "little")
    packed += file[at + 8:at + 8 + n]
    at += 8 + n
body = zlib.decompress(packed)
at = body.index(bytes([7, 0xB0, 0x09, 0xF0, 0x06, 0]))
body = body[:at + 1] + bytes([0xC8, 0x01]) + body[at + 3:]
packed = zlib.compress(body)
block = len(packed).to_bytes(4, "little") + zlib.crc32(packed).to_bytes(4, "little") + packed
open(sys.argv[2], "wb").write(file[:14] + block)
PY
start_brin --replay "$work/moved.brinrec"
wait_brin 120
[ "$status" -eq 1 ] || fail "a replay whose frames differ ended with status $status"
grep -q "the frame differs" "$work/brin.err" || fail "the window did not name the frame: $(cat "$work/brin.err")"
echo "window: $(cat "$work/brin.err")"

start_brin --replay "$work/sim.brinrec"
sleep 1
xdo key Escape
wait_brin 60
[ "$status" -eq 0 ] || fail "Escape ended a replay with status $status"

# A replay's folder goes with the window when a signal ends it; after SIGKILL, which no
# program can catch, the next replay removes it.
export TMPDIR=$work/tmp
mkdir "$TMPDIR"
for signal in TERM KILL; do
  start_brin --replay "$work/sim.brinrec"
  kill -$signal "$pid"
  wait_brin 60
  left=$(ls "$TMPDIR")
  [ "$signal" = KILL ] || [ -z "$left" ] || fail "SIG$signal left the replay's folder $left"
done
[ -n "$left" ] || fail "SIGKILL left no replay folder: the check above proves nothing"
(cd "$data" && "$brin_sim" --replay "$work/sim.brinrec") || fail "brin-sim's replay failed"
[ -z "$(ls "$TMPDIR")" ] || fail "the next replay left the killed one's folder: $(ls "$TMPDIR")"
echo "PASS"
