#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# What recording every game costs, old and new binaries side by side in one run:
#   window   CPU of brin over a minute of play in a virtual X display (title, a level, clicks
#            and keys through XTest), and the size of the last.brinrec it keeps, per minute
#   sim      brin-sim's CPU over whole scripted games, without and with --record, and the
#            recordings' size per minute of virtual play, old and new: games that time out,
#            click, type, press a key every 2 s from the title through a whole game and
#            beyond (keys2s), and hold a key down as key repeat does, a press every 33 ms (held)
#   game     with --game-minutes N: a game in the window pressing a key (Right) every 2 s from
#            its start for N minutes, then Escape: its recording's size per minute, the time
#            from Escape to the program's end, and brin-sim's replay of it
#   bench/recording.sh [--samples N] [--game-minutes N] OLD_BRIN NEW_BRIN OLD_BRIN_SIM NEW_BRIN_SIM
# Samples alternate between the binaries so that the machine's load falls on all alike;
# medians over the samples (sizes: the median over the games).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# A virtual display of its own for the window: the script runs again inside one.
[ -n "${BRIN_XVFB:-}" ] || exec bash "$here/../tests/sdl/with_xvfb.sh" bash "$0" "$@"
samples=3 game_minutes=0
if [ "${1:-}" = --samples ]; then samples=$2; shift 2; fi
if [ "${1:-}" = --game-minutes ]; then game_minutes=$2; shift 2; fi
[ $# -eq 4 ] || { echo "usage: bench/recording.sh [--samples N] [--game-minutes N] OLD_BRIN NEW_BRIN OLD_BRIN_SIM NEW_BRIN_SIM" >&2; exit 2; }
old=$(readlink -f "$1") new=$(readlink -f "$2") old_sim=$(readlink -f "$3") new_sim=$(readlink -f "$4")

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/game"
cp "$here"/../data/*.pcx "$here"/../data/*.fon "$work/game/"
head -c 58 /dev/zero >"$work/game/max.pun"
results=$work/results
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

# ---- the simulator: three games, time-outs, clicks and keys ----

{
  echo "0 mouse 600 440 0"
  for t in $(seq 21 2 59); do echo "$t mouse $((t * 7 % 600)) $((t * 13 % 440)) 4"; echo "$t.2 mouse $((t * 7 % 600)) $((t * 13 % 440)) 0"; done
  echo "300 end"
} >"$work/clicks.txt"
{
  for t in $(seq 21 1 80); do echo "$t key $((t % 2 ? 17 : 31))"; done
  echo "90 key 28"; echo "92 key 45"; echo "300 end"
} >"$work/keys.txt"
echo "400 end" >"$work/timeout.txt"
{
  for t in $(seq 0 2 598); do echo "$t key 77"; done
  echo "600 end"
} >"$work/keys2s.txt"
{
  awk 'BEGIN { for (t = 20; t < 140; t += 0.033) printf "%.3f key 77\n", t }'
  echo "140 end"
} >"$work/held.txt"

sim_cpu() {  # BIN SCRIPT [ARGS...]: seconds of CPU
  local bin=$1 script=$2
  shift 2
  rm -rf "$work/s" && cp -r "$work/game" "$work/s"
  (cd "$work/s" && /usr/bin/time -f '%U %S' -o "$work/time" "$bin" --script "$script" --out "$work/s/out" --limit 1200 "$@" >/dev/null)
  awk '{ print $1 + $2 }' "$work/time"
}
games="timeout clicks keys keys2s held"
for _ in $(seq "$samples"); do
  for game in $games; do
    echo "sim_cpu_s old $game $(sim_cpu "$old_sim" "$work/$game.txt")" >>"$results"
    echo "sim_cpu_s new $game $(sim_cpu "$new_sim" "$work/$game.txt")" >>"$results"
    echo "sim_cpu_s old+record $game $(sim_cpu "$old_sim" "$work/$game.txt" --record "$work/$game.old.brinrec")" >>"$results"
    echo "sim_cpu_s new+record $game $(sim_cpu "$new_sim" "$work/$game.txt" --record "$work/$game.new.brinrec")" >>"$results"
  done
done
for game in $games; do
  minutes=$(awk 'END { print $1 / 60 }' "$work/$game.txt")
  for who in old new; do
    echo "sim_kb_per_min $who $game $(stat -c %s "$work/$game.$who.brinrec" | awk -v m="$minutes" '{ print $1 / 1024 / m }')" >>"$results"
  done
done

# ---- the window ----

if command -v xdotool >/dev/null; then
  export SDL_AUDIODRIVER=dummy XDG_CONFIG_HOME=$work/config
  window_run() {  # BIN LABEL: a minute of play, its CPU and its recording
    export XDG_STATE_HOME=$work/state
    rm -rf "$work/w" "$XDG_STATE_HOME" && cp -r "$work/game" "$work/w"
    (cd "$work/w" && exec "$1" >/dev/null 2>&1) &
    local pid=$! window
    window=$(timeout 20 xdotool search --sync --onlyvisible --name '^brin$' | head -1)
    local c0
    c0=$(ticks $pid)
    sleep 22
    for i in $(seq 12); do  # clicks and keys through the level
      xdotool mousemove --window "$window" $((i * 47 % 600)) $((i * 31 % 440)) click 1
      sleep 1.5
      xdotool key --window "$window" q
      sleep 1.5
    done
    sleep $((60 - 22 - 36))
    echo "window_cpu_pct $2 $(awk -v a="$c0" -v b="$(ticks $pid)" -v hz="$(getconf CLK_TCK)" 'BEGIN { print (b - a) / hz / 60 * 100 }')" >>"$results"
    kill -TERM $pid
    wait $pid || true
    [ ! -s "$XDG_STATE_HOME/brin/last.brinrec" ] ||
      echo "window_kb_per_min $2 $(stat -c %s "$XDG_STATE_HOME/brin/last.brinrec" | awk '{ print $1 / 1024 }')" >>"$results"
  }
  for _ in $(seq "$samples"); do
    window_run "$old" old
    window_run "$new" new
  done

  window_game() {  # BIN LABEL: the game of --game-minutes
    export XDG_STATE_HOME=$work/state
    rm -rf "$work/w" "$XDG_STATE_HOME" && cp -r "$work/game" "$work/w"
    (cd "$work/w" && exec "$1" >/dev/null 2>&1) &
    local pid=$! window end escape
    window=$(timeout 20 xdotool search --sync --onlyvisible --name '^brin$' | head -1)
    end=$((SECONDS + game_minutes * 60))
    while [ $SECONDS -lt $end ]; do
      xdotool key --window "$window" Right
      sleep 2
    done
    escape=$(date +%s%N)
    xdotool key --window "$window" Escape
    timeout 120 tail --pid=$pid -f /dev/null || kill -KILL $pid
    echo "game_escape_to_exit_ms $2 $((($(date +%s%N) - escape) / 1000000))" >>"$results"
    wait $pid || true
    local file=$XDG_STATE_HOME/brin/last.brinrec replayed status=0
    replayed=$(cd "$work/w" && "$new_sim" --replay "$file" 2>&1) || status=$?
    echo "game_replay_status $2 $status" >>"$results"
    echo "game_kb_per_min $2 $(stat -c %s "$file" | awk -v m="$game_minutes" '{ print $1 / 1024 / m }')" >>"$results"
    echo "game_replay $2: $replayed" >&2
  }
  if [ "$game_minutes" -gt 0 ]; then
    window_game "$old" old
    window_game "$new" new
  fi
fi

# ---- the figures ----

for key in $(awk '{ print $1 " " $2 " " ($4 == "" ? "" : $3) }' "$results" | sort -u | tr ' ' :); do
  IFS=: read -r what who game <<<"$key"
  if [ -n "$game" ]; then
    printf '%-18s %-12s %-8s %s\n' "$what" "$who" "$game" "$(awk -v w="$what" -v b="$who" -v g="$game" '$1 == w && $2 == b && $3 == g { print $4 }' "$results" | median)"
  else
    printf '%-18s %-12s %-8s %s\n' "$what" "$who" "" "$(awk -v w="$what" -v b="$who" '$1 == w && $2 == b && NF == 3 { print $3 }' "$results" | median)"
  fi
done
for who in old new; do
  echo "sim_kb_per_min $who, the most over the games: $(awk -v w=$who '$1 == "sim_kb_per_min" && $2 == w { print $4 }' "$results" | sort -n | tail -1)"
done
