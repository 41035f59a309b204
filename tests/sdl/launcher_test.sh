#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The launcher starts the program in the player's folder, links the installed pictures and
# font where they are missing, copies the empty high-score table only when there is none,
# and never touches the player's own files: the high scores above all. The paths given to
# the program are named from where the launcher was started.
# With the converter, a level written over a link replaces the link, never the installed file.
#   launcher_test.sh LAUNCHER [BRIN_PICTURE]
set -euo pipefail
launcher=$(readlink -f "$1")
converter=${2:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}

mkdir -p "$work/data" "$work/xdg/brin"
for f in 1.pcx 2.pcx 3.pcx brin.pcx topaz.fon; do echo "shipped $f" >"$work/data/$f"; done
echo "shipped scores" >"$work/data/max.pun"
echo "not data" >"$work/data/README.md"
echo "my scores" >"$work/xdg/brin/max.pun"
echo "my picture" >"$work/xdg/brin/1.pcx"
ln -s "$work/gone/2.pcx" "$work/xdg/brin/2.pcx"  # left by an installation since removed
echo "elsewhere" >"$work/other.pcx"
ln -s "$work/other.pcx" "$work/xdg/brin/3.pcx"  # a link of the player's that works
# The "program" tells where it ran and with which arguments.
printf '#!/bin/sh\necho "$PWD $*"\n' >"$work/program"
chmod +x "$work/program"
run() { BRIN_EXE="$work/program" BRIN_DATA="$work/data" sh "$launcher" "$@"; }

links_to_shipped() { [ -L "$1" ] && [ "$(readlink "$1")" = "$work/data/${1##*/}" ]; }

out=$(XDG_DATA_HOME="$work/xdg" run a b)
mine=$work/xdg/brin
[ "$out" = "$mine a b" ] || fail "the program ran as: $out"
[ "$(cat "$mine/max.pun")" = "my scores" ] || fail "the high scores were overwritten"
[ "$(cat "$mine/1.pcx")" = "my picture" ] && [ ! -L "$mine/1.pcx" ] || fail "the player's own picture was touched"
links_to_shipped "$mine/brin.pcx" || fail "a missing picture was not linked to the installed one"
links_to_shipped "$mine/topaz.fon" || fail "the missing font was not linked to the installed one"
links_to_shipped "$mine/2.pcx" || fail "a dangling link was not replaced"
[ "$(readlink "$mine/3.pcx")" = "$work/other.pcx" ] || fail "a working link of the player's was replaced"
[ ! -e "$mine/README.md" ] || fail "a file that is not the game's was linked"

# An update of the installed data reaches the player through the links.
echo "updated brin.pcx" >"$work/data/brin.pcx"
[ "$(cat "$mine/brin.pcx")" = "updated brin.pcx" ] || fail "the link does not follow the installed file"

# A first start: the high-score table is a copy, which the game can write, never a link.
out=$(unset XDG_DATA_HOME; HOME="$work/home" run)
mine=$work/home/.local/share/brin
[ "$out" = "$mine " ] || fail "without XDG_DATA_HOME the program ran as: $out"
[ -f "$mine/max.pun" ] && [ ! -L "$mine/max.pun" ] || fail "max.pun was not copied"
[ "$(cat "$mine/max.pun")" = "shipped scores" ] || fail "max.pun is not the shipped table"
echo "scores of a game" >"$mine/max.pun"
HOME="$work/home" XDG_DATA_HOME= run >/dev/null
[ "$(cat "$mine/max.pun")" = "scores of a game" ] || fail "a second start overwrote max.pun"
[ "$(cat "$work/data/max.pun")" = "shipped scores" ] || fail "the game's write reached the installed table"

# A link in max.pun's place is a shared table, even one not made yet: it stays.
rm "$mine/max.pun"
ln -s "$work/shared/max.pun" "$mine/max.pun"
HOME="$work/home" XDG_DATA_HOME= run >/dev/null
[ "$(readlink "$mine/max.pun")" = "$work/shared/max.pun" ] || fail "the link to a shared table was replaced"

# A relative XDG_DATA_HOME is invalid: ignored, as the XDG rules say.
rm -rf "$work/home"
out=$(cd "$work" && HOME="$work/home" XDG_DATA_HOME=relative run)
[ "$out" = "$work/home/.local/share/brin " ] || fail "with a relative XDG_DATA_HOME the program ran as: $out"
[ ! -e "$work/relative" ] || fail "a relative XDG_DATA_HOME was used"
# Links into a source clone played before are pointed at the installed data; a player's own
# link into a folder of brin's data, named otherwise, stays.
rm -rf "$work/home" && mkdir -p "$work/clone" "$work/home/.local/share/brin"
for f in brin.pcx topaz.fon 1.pcx; do echo "clone $f" >"$work/clone/$f"; done
mine=$work/home/.local/share/brin
ln -s "$work/clone/1.pcx" "$mine/1.pcx"
ln -s "$work/clone/1.pcx" "$mine/2.pcx"
HOME="$work/home" XDG_DATA_HOME= run >/dev/null
links_to_shipped "$mine/1.pcx" || fail "a link into a source clone was kept: $(readlink "$mine/1.pcx")"
[ "$(readlink "$mine/2.pcx")" = "$work/clone/1.pcx" ] || fail "a player's own link was replaced"

# A path on the command line is meant from where the launcher was started, though the game
# runs in the player's folder: each option that takes one, in both spellings. The value of
# another option is passed as it is, even one that looks like an option.
printf '#!/bin/sh\nprintf "%%s\\n" "$@"\n' >"$work/arguments"
chmod +x "$work/arguments"
mkdir -p "$work/games"
out=$(cd "$work/games" && BRIN_EXE="$work/arguments" BRIN_DATA="$work/data" HOME="$work/home" XDG_DATA_HOME= \
  sh "$launcher" --replay "my game.brinrec" --record=sub/new.brinrec --scale --record --volume 40 \
  --record /elsewhere/a.brinrec --replay= --mute)
expected=$(printf '%s\n' --replay "$work/games/my game.brinrec" --record="$work/games/sub/new.brinrec" --scale \
  --record --volume 40 --record /elsewhere/a.brinrec --replay= --mute)
[ "$out" = "$expected" ] || fail "the program was given: $out"

# Launchers started together on a fresh folder all start the game.
for round in 1 2 3 4 5 6 7 8 9 10; do
  rm -rf "$work/home"
  (HOME="$work/home" XDG_DATA_HOME= run >"$work/a" 2>&1) &
  first=$!
  (HOME="$work/home" XDG_DATA_HOME= run >"$work/b" 2>&1) &
  wait $first || fail "round $round: a launcher failed: $(cat "$work/a")"
  wait $! || fail "round $round: a launcher failed: $(cat "$work/b")"
  links_to_shipped "$work/home/.local/share/brin/topaz.fon" || fail "round $round: no link to the font"
done

if [ -n "$converter" ]; then
  rm -rf "$work/home"
  mkdir -p "$work/installed"
  convert -size 640x480 gradient:red-blue "$work/photo.png"
  cp "$work/photo.png" "$work/installed/2.pcx"  # any bytes: only whether they change counts
  chmod a-w "$work/installed/2.pcx"
  BRIN_EXE="$work/program" BRIN_DATA="$work/installed" HOME="$work/home" XDG_DATA_HOME= sh "$launcher" >/dev/null
  mine=$work/home/.local/share/brin/2.pcx
  [ -L "$mine" ] || fail "no link to the installed level 2"
  HOME="$work/home" XDG_DATA_HOME= "$converter" "$work/photo.png" --level 2 2>/dev/null || fail "the converter failed"
  [ -f "$mine" ] && [ ! -L "$mine" ] || fail "the converted level did not take the link's place"
  cmp -s "$work/photo.png" "$work/installed/2.pcx" || fail "the converter wrote through the link into the installed file"
  BRIN_EXE="$work/program" BRIN_DATA="$work/installed" HOME="$work/home" XDG_DATA_HOME= sh "$launcher" >/dev/null
  [ ! -L "$mine" ] || fail "the launcher put the link back over the player's level"
fi
echo PASS
