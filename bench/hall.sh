#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The hall's verifications on this machine: how many it replays a second, one client after
# another and 20 clients at once, and the time from a submission to its answer (p50, p95). Each submission is the same recording of a whole game on the shipped
# pictures (a level that runs out, the game over, the table and the next title: about three
# minutes of the game's own time), which enters no score, so every one is replayed in full.
#   bench/hall.sh [BUILD_DIR [SUBMISSIONS]]   (a Release build: build/release by default)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(readlink -f "${1:-$root/build/release}")
submissions=${2:-100}
work=$(mktemp -d)
hall_pid=
cleanup() {
  [ -n "$hall_pid" ] && kill "$hall_pid" 2>/dev/null && wait "$hall_pid" || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir "$work/game"
cp "$root"/data/*.pcx "$root"/data/topaz.fon "$root"/data/max.pun "$work/game/"
echo "180 end" >"$work/game/script.txt"
(cd "$work/game" && "$build/brin-sim" --script script.txt --out out --record "$work/game.brinrec")
echo "the recording: $(stat -c %s "$work/game.brinrec") bytes, 180 s of its own time"

"$build/hall/brin-hall" --listen 127.0.0.1:0 --db "$work/hall.db" --shipped "$root/data" --verifier "$build/brin-sim" \
  --rate 1000000 --queue 10000 >"$work/said.txt" 2>"$work/log.txt" &
hall_pid=$!
for _ in $(seq 100); do
  port=$(sed -n 's|.*127\.0\.0\.1:\([0-9]*\)/|\1|p' "$work/said.txt")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { cat "$work/log.txt"; exit 1; }

echo "one client:  $(python3 "$root/bench/hall_clients.py" "$port" "$work/game.brinrec" 1 $((submissions / 5)))"
echo "20 clients:  $(python3 "$root/bench/hall_clients.py" "$port" "$work/game.brinrec" 20 "$submissions")"
echo "(the hall replays on $(nproc) workers, one per processor; load average now $(cut -d' ' -f1-3 /proc/loadavg))"
