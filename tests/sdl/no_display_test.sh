#!/bin/sh
# SPDX-License-Identifier: MIT
# Where no window can be opened, brin says it needs the graphics mode and ends with status 0.
# --help and --version need no display; a wrong option is named, with the usage, status 2.
#   no_display_test.sh BRIN
nodisplay() { env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER XDG_CONFIG_HOME=/nonexistent XDG_STATE_HOME=/nonexistent "$@"; }
out=$(nodisplay "$1" 2>/dev/null)
status=$?
echo "status $status, said \"$out\""
[ "$status" -eq 0 ] && [ "$out" = "NECESITA SVGA VESA" ] || exit 1

out=$(nodisplay "$1" --version) || exit 1
echo "--version: $out"
case $out in "brin "[0-9]*) ;; *) exit 1 ;; esac
nodisplay "$1" --help | grep -q -- '--scale integer' || exit 1
err=$(nodisplay "$1" --fly 2>&1 >/dev/null)
status=$?
echo "--fly: status $status, first line \"$(echo "$err" | head -1)\""
[ "$status" -eq 2 ] && [ "$(echo "$err" | head -1)" = "brin: unknown option '--fly'" ] &&
  [ "$(echo "$err" | sed -n 2p)" = "usage: brin [OPTION]..." ]
