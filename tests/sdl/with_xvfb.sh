#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a command in a virtual X display of its own: with_xvfb.sh [--screen WxHxD] COMMAND [ARGS...]
# (1024x768x24 unless --screen says otherwise). Every script that needs an X server starts
# it through this one. The command sees BRIN_XVFB set to its display.
# Exits 77 (skipped) only when no X server can be started.
set -euo pipefail
screen=1024x768x24
if [ "${1:-}" = --screen ]; then
  screen=$2
  shift 2
fi
command -v Xvfb >/dev/null || { echo "SKIP: Xvfb is not installed"; exit 77; }
work=$(mktemp -d)
# -noreset: by default the server resets when its last client leaves, and a client that
# connects meanwhile (the next brin, on a busy machine) is refused and finds no display.
Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "SKIP: Xvfb does not start: $(tail -1 "$work/xvfb.log")"; exit 77; }
export DISPLAY=":$(cat "$work/display")"
export BRIN_XVFB=$DISPLAY
# Leaks inside the X libraries at exit are not this game's.
export ASAN_OPTIONS=${ASAN_OPTIONS:-}:detect_leaks=0
"$@"
