#!/bin/sh
# SPDX-License-Identifier: MIT
# brin-sim held at its start until the test lets it go, so that the test knows a replay is
# in flight: it says so with a file started.PID in $HALL_GATE, and goes on once there is a
# file go there.
: >"$HALL_GATE/started.$$"
while [ ! -e "$HALL_GATE/go" ]; do sleep 0.02; done
exec "$HALL_GATE_SIM" "$@"
