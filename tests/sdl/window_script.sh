# SPDX-License-Identifier: MIT
# What the scripts that drive brin's window through XTest share, sourced after they have
# restarted inside with_xvfb.sh: `source window_script.sh TOOL...` checks the tools they need
# and gives a work folder of its own with the processes in `pids` ended at exit (kept with
# BRIN_KEEP_TEST=1), `fail`, `xdo` (xdotool that may not hang), `wait_until`, `brin_window`,
# and the window's settings and last game kept in that folder, not the tester's.
for tool in xdotool "$@"; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/install-deps.sh test)"; exit 1; }
done
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  [ -n "${BRIN_KEEP_TEST:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}
xdo() { timeout 10 xdotool "$@" || fail "xdotool $* did not finish"; }
export SDL_AUDIODRIVER=dummy XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state

# Runs a check again and again until it holds: `wait_until SECONDS WHAT COMMAND...` fails
# with "WHAT" after SECONDS. What the window shows is waited for, never slept for: a busy
# machine takes its time to draw.
wait_until() {
  local deadline=$((SECONDS + $1)) what=$2
  shift 2
  until "$@"; do
    [ $SECONDS -lt $deadline ] || fail "$what"
    sleep 0.2
  done
}

# The id of brin's window, once it is shown (brin shows only the window it keeps); fails
# after a minute without one. A search fails when a window vanishes while it walks the tree
# (BadWindow), which is likelier the busier the machine: it is tried again.
brin_window() {
  local found deadline=$((SECONDS + 60))
  until found=$(timeout 10 xdotool search --onlyvisible --name '^brin$' 2>/dev/null | head -1) && [ -n "$found" ]; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.1
  done
  echo "$found"
}
