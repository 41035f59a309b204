#!/bin/sh
# Starts brin in the player's own folder, $XDG_DATA_HOME/brin (~/.local/share/brin), where
# max.pun can be written and survives updates. Data files missing there are copied in from
# the installed ones; files already there, the high scores above all, are kept.
# Installed as bin/brin beside libexec/brin/brin and share/brin; scripts/play.sh points it
# at the build and the source tree's data/ instead through BRIN_EXE and BRIN_DATA.
set -eu
here=$(dirname "$(readlink -f "$0")")
exe=${BRIN_EXE:-$here/../libexec/brin/brin}
data=${BRIN_DATA:-$here/../share/brin}
home=${XDG_DATA_HOME:-$HOME/.local/share}/brin

mkdir -p "$home"
for file in "$data"/*.pcx "$data"/*.fon "$data"/*.pun; do
  [ -f "$file" ] || continue
  [ -e "$home/${file##*/}" ] || cp "$file" "$home/"
done
cd "$home"
exec "$exe" "$@"
