#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# brin --replay and the player's files, without a display (a replay then ends where the
# recording opens it, status 1):
#  1. through the launcher, a recording whose data files name the player's max.pun, with a
#     table of its own, leaves the player's table as it was;
#  2. run from a folder without the data files, a replay plays with those of the player's
#     data folder, or else with the shipped ones, and says which.
#   replay_files_test.sh BRIN BRIN_SIM LAUNCHER DATA
set -euo pipefail
brin=$(readlink -f "$1")
brin_sim=$(readlink -f "$2")
launcher=$(readlink -f "$3")
data=$(readlink -f "$4")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}
export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state XDG_DATA_HOME=$work/xdg TMPDIR=$work
unset DISPLAY WAYLAND_DISPLAY SDL_VIDEODRIVER
run() { BRIN_EXE="$brin" BRIN_DATA="$data" sh "$launcher" "$@"; }

# ---- 1. the table-overwriting recording ----

run --version >/dev/null  # the player's folder, with the shipped empty table
mine=$work/xdg/brin/max.pun
cp "$mine" "$work/before.pun"
python3 - "$mine" "$work/attack.brinrec" <<'PY'
import struct, sys, zlib
players = open(sys.argv[1], 'rb').read()
text = lambda s: bytes([len(s)]) + s
evil = bytearray(58)
evil[0:2] = struct.pack('<H', 9999)
evil[10:15] = b'EVIL!'
body = text(b'1.0') + struct.pack('<QH', 1700000000 * 10**6, 1)
body += text(b'max.pun') + b'\x01' + struct.pack('<II', len(players), zlib.crc32(players))
body += b'\x01' + struct.pack('<H', len(evil)) + bytes(evil) + bytes([12])  # the table, then the end
open(sys.argv[2], 'wb').write(b'BRINREC\x1a' + struct.pack('<HI', 2, len(body)) + zlib.compress(body))
PY
status=0
run --replay "$work/attack.brinrec" 2>"$work/err" || status=$?
echo "the attack: status $status, said \"$(cat "$work/err")\""
cmp -s "$mine" "$work/before.pun" || fail "the replay wrote the player's max.pun: $(od -c "$mine" | head -2)"
[ ! -L "$mine" ] || fail "max.pun became a link"

# ---- 2. the data files found as the launcher finds them ----

mkdir "$work/game" "$work/elsewhere"
cp "$data"/*.pcx "$data"/topaz.fon "$work/game/"
(cd "$work/game" && "$brin_sim" --script /dev/null --limit 1 --record "$work/game.brinrec" >/dev/null) || [ $? -eq 2 ]
replay_from_elsewhere() {
  status=0
  (cd "$work/elsewhere" && "$brin" --replay "$work/game.brinrec") 2>"$work/err" || status=$?
  echo "with XDG_DATA_HOME=$XDG_DATA_HOME: status $status, said \"$(tr '\n' ' ' <"$work/err")\""
  [ "$status" -eq 1 ] && grep -q "the display can't be opened here" "$work/err" || fail "the replay did not start"
  grep -q "played with the data files of $1\$" "$work/err" || fail "it did not say it played with $1's data"
}
replay_from_elsewhere "$work/xdg/brin"
XDG_DATA_HOME=$work/none replay_from_elsewhere "$data"
(cd "$work/game" && "$brin" --replay "$work/game.brinrec") 2>"$work/err" || true
! grep -q "played with" "$work/err" || fail "the data files here were not the ones used: $(cat "$work/err")"
echo PASS
