#!/bin/sh
# SPDX-License-Identifier: MIT
# Starts brin in the player's own folder, $XDG_DATA_HOME/brin (~/.local/share/brin), where
# max.pun can be written and survives updates.
# - The pictures and the font are links to the installed ones, so that an update of the
#   package reaches the player; a missing or dangling link is made afresh, and one that
#   points into another brin data folder (a source clone played before) is pointed here.
# - max.pun is written by the game, so it is copied, and only when there is neither a file
#   nor a link: the shipped one is an empty table, which spares the first game an error.
# - A regular file of the player's (an own picture, the high scores) is never touched.
# - A relative path given to the program is made absolute, as it is meant from here.
# Installed as bin/brin beside libexec/brin/brin and share/brin; scripts/play.sh points it
# at the build and the source tree's data/ instead through BRIN_EXE and BRIN_DATA.
set -eu
here=$(dirname "$(readlink -f "$0")")
exe=${BRIN_EXE:-$here/../libexec/brin/brin}
data=$(readlink -f "${BRIN_DATA:-$here/../share/brin}")

# The XDG rules: a relative path in these variables is invalid and is ignored.
data_home=${XDG_DATA_HOME:-}
case $data_home in /*) ;; *) data_home=$HOME/.local/share ;; esac
home=$data_home/brin

# A link the launcher made elsewhere: named as the file it points at, in a folder that holds
# brin's data. A player's own link is named otherwise or points elsewhere.
made_by_a_launcher() {
  target=$(readlink "$1")
  [ "${target##*/}" = "${1##*/}" ] && [ -f "${target%/*}/brin.pcx" ] && [ -f "${target%/*}/topaz.fon" ]
}

# Another launcher may be doing the same at this moment: a link that ends up pointing where
# it should is success, and a link is replaced by a rename, never removed first.
link_here() {
  ln -s "$1" "$2.new.$$" && mv -fT "$2.new.$$" "$2"
}

mkdir -p "$home"
for file in "$data"/*.pcx "$data"/*.fon; do
  [ -f "$file" ] || continue
  mine=$home/${file##*/}
  if [ -L "$mine" ]; then
    # dangling (the data it pointed at was removed or moved), or into another data folder
    if [ ! -e "$mine" ] || { [ "$(readlink "$mine")" != "$file" ] && made_by_a_launcher "$mine"; }; then
      link_here "$file" "$mine"
    fi
  elif [ ! -e "$mine" ]; then
    ln -s "$file" "$mine" 2>/dev/null || [ "$(readlink "$mine")" = "$file" ]
  fi
done
# A link in max.pun's place, even to a table not made yet, is a shared table: the game
# saves where it points.
if [ -f "$data/max.pun" ] && [ ! -e "$home/max.pun" ] && [ ! -L "$home/max.pun" ]; then
  cp -n "$data/max.pun" "$home/max.pun"
fi

# The game runs in the player's folder: a file named on the command line (--record FILE,
# --replay=FILE) is named from the folder the launcher was started in before that. The
# options that take a value are the program's, which takes the next argument as the value
# whatever it looks like.
from_here() {
  case $1 in /* | '') path=$1 ;; *) path=$PWD/$1 ;; esac
}
takes=  # what the argument before takes: a path, another value, or nothing
for arg do
  shift
  if [ -n "$takes" ]; then
    [ "$takes" = other ] || { from_here "$arg" && arg=$path; }
    takes=
  else
    case $arg in
      --record | --replay) takes=path ;;
      --scale | --volume) takes=other ;;
      --record=* | --replay=*) from_here "${arg#*=}" && arg=${arg%%=*}=$path ;;
    esac
  fi
  set -- "$@" "$arg"
done
cd "$home"
exec "$exe" "$@"
