#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# What hostile recordings cost to refuse or replay, old and new binaries side by side in one
# run: peak memory (/usr/bin/time's maximum resident set) and wall time of `brin-sim --replay`
# and of `brin --replay` in a virtual X display, for
#   stored     a 128 MiB zlib stream of stored blocks (format 2, declaring 128 MiB)
#   bomb2      128 MiB of valid records packed to some 130 KB (format 2, declaring 128 MiB)
#   bomb3      the same records in format 3, which declares no length
#   sparse     a 1 GiB sparse file behind a recording's prefix
#   zerotime   2^30 polls in which no time passes
#   bench/hostile_recordings.sh OLD_BRIN NEW_BRIN OLD_BRIN_SIM NEW_BRIN_SIM
# The window's own figure, with a small valid recording, is given as `small` for the baseline.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ -n "${BRIN_XVFB:-}" ] || exec bash "$here/../tests/sdl/with_xvfb.sh" bash "$0" "$@"
[ $# -eq 4 ] || { echo "usage: bench/hostile_recordings.sh OLD_BRIN NEW_BRIN OLD_BRIN_SIM NEW_BRIN_SIM" >&2; exit 2; }
old=$(readlink -f "$1") new=$(readlink -f "$2") old_sim=$(readlink -f "$3") new_sim=$(readlink -f "$4")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/game"
cp "$here"/../data/*.pcx "$here"/../data/*.fon "$work/game/"
head -c 58 /dev/zero >"$work/game/max.pun"
echo "30 end" >"$work/end.txt"
(cd "$work/game" && "$old_sim" --script "$work/end.txt" --record "$work/small" >/dev/null)

python3 - "$work" <<'PY'
import sys, zlib
work = sys.argv[1]
magic = b"BRINREC\x1a"
start = bytes([3]) + b"1.0" + (10**15).to_bytes(8, "little")
head = start + bytes(5)  # format 2: no data files, no table
def varint(v):
    out = bytearray()
    while v >= 0x80:
        out.append(v & 0x7F | 0x80); v >>= 7
    out.append(v)
    return bytes(out)
def format2(contents, declared, level=9):
    return magic + bytes([2, 0]) + declared.to_bytes(4, "little") + zlib.compress(contents, level)
opened = bytes([8, 1, 9, 1, 1, 100])
keys = opened + bytes([6, 30]) * ((128 << 20) - len(head) - len(opened) - 1 >> 1)
bomb = head + keys + bytes([12])
open(f"{work}/bomb2", "wb").write(format2(bomb, len(bomb)))
stream = zlib.compress(start + keys + bytes([12]), 9)
block = len(stream).to_bytes(4, "little") + zlib.crc32(stream).to_bytes(4, "little") + stream
open(f"{work}/bomb3", "wb").write(magic + bytes([3, 0]) + bytes(4) + block)
open(f"{work}/stored", "wb").write(format2(bomb, len(bomb), level=0))
zero = head + bytes([8, 1, 9, 1, 1, 0, 5]) + varint(2**30 - 2) + bytes([12])
open(f"{work}/zerotime", "wb").write(format2(zero, len(zero)))
with open(f"{work}/sparse", "wb") as f:
    f.write(magic + bytes([2, 0]) + (100 << 20).to_bytes(4, "little"))
    f.truncate(1 << 30)
PY

peak() {  # FILE WHO KIND COMMAND...: the peak memory in MB, the wall time, the status, the first words
  local file=$1 who=$2 kind=$3 status=0
  shift 3
  /usr/bin/time -f '%M %e' -o "$work/time" "$@" >/dev/null 2>"$work/err" || status=$?
  printf '%-9s %-4s %-7s %8.1f MB %8.2f s  status %-3s %s\n' "$file" "$who" "$kind" \
    "$(tail -1 "$work/time" | awk '{ print $1 / 1024 }')" "$(tail -1 "$work/time" | awk '{ print $2 }')" "$status" \
    "$(head -1 "$work/err" | cut -c1-100)"
}

export SDL_AUDIODRIVER=dummy XDG_STATE_HOME=$work/state XDG_CONFIG_HOME=$work/config
cd "$work/game"
for file in small stored bomb2 bomb3 sparse zerotime; do
  for who in old new; do
    sim=$old_sim brin=$old
    [ $who = new ] && sim=$new_sim brin=$new
    peak $file $who brin-sim "$sim" --replay "$work/$file"
    # The window plays a valid recording at its pace: it is ended after a few seconds.
    peak $file $who window timeout -s TERM 8 "$brin" --replay "$work/$file"
  done
done
