#!/bin/sh
# Where no window can be opened, brin says it needs the graphics mode and ends with status 0.
#   no_display_test.sh BRIN
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER "$1" 2>/dev/null)
status=$?
echo "status $status, said \"$out\""
[ "$status" -eq 0 ] && [ "$out" = "NECESITA SVGA VESA" ]
