#!/usr/bin/env bash
# The launcher starts the program in the player's folder with the data copied in where it
# is missing, and never overwrites what is there: the high scores above all.
#   launcher_test.sh LAUNCHER
set -euo pipefail
launcher=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}

mkdir -p "$work/data" "$work/xdg/brin"
for f in 1.pcx brin.pcx topaz.fon; do echo "shipped $f" >"$work/data/$f"; done
echo "shipped scores" >"$work/data/max.pun"
echo "not data" >"$work/data/README.md"
echo "my scores" >"$work/xdg/brin/max.pun"
echo "my picture" >"$work/xdg/brin/1.pcx"
# The "program" tells where it ran and with which arguments.
printf '#!/bin/sh\necho "$PWD $*"\n' >"$work/program"
chmod +x "$work/program"

out=$(XDG_DATA_HOME="$work/xdg" BRIN_EXE="$work/program" BRIN_DATA="$work/data" sh "$launcher" a b)
[ "$out" = "$work/xdg/brin a b" ] || fail "the program ran as: $out"
[ "$(cat "$work/xdg/brin/max.pun")" = "my scores" ] || fail "the high scores were overwritten"
[ "$(cat "$work/xdg/brin/1.pcx")" = "my picture" ] || fail "a file already there was overwritten"
[ "$(cat "$work/xdg/brin/brin.pcx")" = "shipped brin.pcx" ] || fail "a missing picture was not copied"
[ "$(cat "$work/xdg/brin/topaz.fon")" = "shipped topaz.fon" ] || fail "the missing font was not copied"
[ ! -e "$work/xdg/brin/README.md" ] || fail "a file that is not the game's was copied"

# Without XDG_DATA_HOME the folder is ~/.local/share/brin.
out=$(env -u XDG_DATA_HOME HOME="$work/home" BRIN_EXE="$work/program" BRIN_DATA="$work/data" sh "$launcher")
[ "$out" = "$work/home/.local/share/brin " ] || fail "without XDG_DATA_HOME the program ran as: $out"
[ -f "$work/home/.local/share/brin/max.pun" ] || fail "nothing was copied into ~/.local/share/brin"
echo PASS
