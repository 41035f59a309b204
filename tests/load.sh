#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs chosen tests again and again beside a CPU load, and says which failed how often: a
# test that fails only on a busy machine shows here, not on a quiet one.
#   tests/load.sh [--runs N] [--cpu N] BUILD_DIR CTEST_ARGS...
# CTEST_ARGS pick the tests as ctest does (-R REGEX, -L LABEL, -j2 ...). Each run's output is
# kept in BUILD_DIR/load/, and the load average is noted at each run's end. The status is 1
# when any run had a failure.
#   bash tests/load.sh --runs 10 build/release -L web
set -euo pipefail
runs=10
cpu=4
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --cpu) cpu=$2; shift 2 ;;
    *) break ;;
  esac
done
[ $# -ge 2 ] || { echo "usage: tests/load.sh [--runs N] [--cpu N] BUILD_DIR CTEST_ARGS..." >&2; exit 2; }
build=$(readlink -f "$1")
shift
command -v stress-ng >/dev/null || { echo "tests/load.sh needs stress-ng: bash scripts/install-deps.sh test" >&2; exit 2; }

out=$build/load
rm -rf "$out"
mkdir -p "$out"
stress-ng --cpu "$cpu" --timeout 0 --quiet &
stress=$!
trap 'kill "$stress" 2>/dev/null || true; wait "$stress" 2>/dev/null || true' EXIT

failed_log=$build/Testing/Temporary/LastTestsFailed.log
: >"$out/failures"
for run in $(seq "$runs"); do
  rm -f "$failed_log"
  start=$(date +%s)
  status=0
  ctest --test-dir "$build" --output-on-failure "$@" >"$out/run-$run.log" 2>&1 || status=$?
  seconds=$(($(date +%s) - start))
  load=$(cut -d' ' -f1-3 /proc/loadavg)
  # LastTestsFailed.log holds NUMBER:NAME, one a line, when a test failed.
  failures=$([ -f "$failed_log" ] && cut -d: -f2- "$failed_log" | tr '\n' ' ' || true)
  ran=$(grep -oE 'tests failed out of [0-9]+' "$out/run-$run.log" | grep -oE '[0-9]+$' || echo 0)
  [ "$ran" -gt 0 ] || { echo "run $run: no test chosen by: $*" >&2; exit 2; }
  echo "run $run: $ran tests, ${seconds} s, load $load, status $status${failures:+, failed: $failures}"
  [ "$status" -eq 0 ] || [ -n "$failures" ] || failures="ctest-status-$status"
  for f in $failures; do echo "$f $run" >>"$out/failures"; done
done

echo
if [ ! -s "$out/failures" ]; then
  echo "no failures in $runs runs ($out)"
  exit 0
fi
echo "failures in $runs runs (test: how many, in which runs; the output in $out):"
awk '{ n[$1]++; r[$1] = r[$1] " " $2 } END { for (t in n) printf "  %s: %d (runs%s)\n", t, n[t], r[t] }' "$out/failures" | sort
exit 1
