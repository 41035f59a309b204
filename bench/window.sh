#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Measures brin binaries side by side in one run, in a virtual X display, once with SDL's
# dummy audio driver and once with a PulseAudio server playing into a null sink:
#   start-up   launch to the first picture in the window (xprobe, XGetImage)
#   title      CPU of all threads during the title's fades, 0.5 to 8.5 s after that
#   title key  the same in another run, with a key pressed on the title (which reads no
#              keys) 0.3 s after its first picture
#   idle       CPU of all threads and wake-ups of each thread in a level, 20 to 30 s after it
#   key        an XTest key press to the window's pixels changing, after a quiet spell
#   onset      with PulseAudio: a click's beep after a second of silence against one 60 ms
#              after the last beep, from a recording of the null sink; the difference is
#              what starting the sound again after silence costs
#   bench/window.sh [--samples N] [--audio dummy|pulse|both] BRIN...
# Each BRIN is a brin executable; samples alternate between them so that the machine's load
# falls on all alike. Medians over the samples; key to screen pooled over every press.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# A virtual display of its own: the script runs again inside one.
[ -n "${BRIN_XVFB:-}" ] || exec bash "$here/../tests/sdl/with_xvfb.sh" --screen 1400x1050x24 bash "$0" "$@"
samples=3
audio=both
while [ $# -gt 0 ]; do
  case $1 in
    --samples) samples=$2; shift 2 ;;
    --audio) audio=$2; shift 2 ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || { echo "usage: bench/window.sh [--samples N] [--audio dummy|pulse|both] BRIN..." >&2; exit 2; }
bins=()
for b in "$@"; do bins+=("$(readlink -f "$b")"); done

bash "$here/../scripts/install-deps.sh" bench >/dev/null

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
gcc -O2 -o "$work/xprobe" "$here/xprobe.c" -lX11 -lXtst

mkdir -p "$work/game"
cp "$here"/../data/*.pcx "$here"/../data/*.fon "$work/game/"
head -c 58 /dev/zero >"$work/game/max.pun"  # a table already there: no first-run message

export XDG_STATE_HOME=$work/state  # the last game kept, of this run only

start_pulse() {
  export XDG_RUNTIME_DIR=$work/pulse
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --system=no --disable-shm=no \
    -L "module-null-sink sink_name=null" -L module-native-protocol-unix --log-target=stderr 2>"$work/pulse.log" &
  pids+=($!)
  export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native
  for _ in $(seq 100); do pactl info >/dev/null 2>&1 && return; sleep 0.1; done
  echo "PulseAudio does not start: $(tail -1 "$work/pulse.log")" >&2
  exit 1
}

now_ns() { date +%s%N; }
sleep_until() { local left=$(( $1 - $(now_ns) )); [ $left -le 0 ] || sleep "$(awk "BEGIN{print $left/1e9}")"; }
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# Each thread: its id, name, nanoseconds run and times run.
threads() {
  for t in /proc/"$1"/task/*; do
    local run
    run=$(awk '{print $1, $3}' "$t/schedstat" 2>/dev/null) || continue
    printf '%s %s %s\n' "${t##*/}" "$(tr ' ' _ <"$t/comm")" "$run"
  done | sort
}

results=$work/results

# Pairs of clicks in a level, each beeping: the first after a second of silence, the second
# 100 ms after it. The recording's clock is its own, so only differences are compared.
onsets() {  # BIN AUDIO
  local window clicks=$work/clicks
  window=$(xdotool search --name '^brin$' | tail -1)
  : >"$clicks"
  parec --latency-msec=10 -d null.monitor --raw --format=s16le --rate=48000 --channels=1 >"$work/rec.raw" &
  local rec=$!
  sleep 0.5
  for _ in 1 2 3 4 5; do
    sleep 1
    now_ns >>"$clicks"
    xdotool mousemove --window "$window" 60 70 click 1
    sleep 0.1
    now_ns >>"$clicks"
    xdotool mousemove --window "$window" 220 70 click 1
  done
  sleep 1.5  # what the recorder holds yet
  kill $rec
  wait $rec || true
  python3 - "$work/rec.raw" "$clicks" <<'PY' | sed "s|^|$1 $2 |" >>"$results"
import array, sys
s = array.array('h', open(sys.argv[1], 'rb').read())
clicks = [int(x) / 1e6 for x in open(sys.argv[2])]
onsets, quiet = [], 10**9
for i, v in enumerate(s):
    if abs(v) > 300:
        if quiet > 48 * 30: onsets.append(i / 48.0)
        quiet = 0
    else:
        quiet += 1
if len(onsets) != len(clicks):
    print("onset_error", len(onsets))
    print(f"onsets heard: {len(onsets)} for {len(clicks)} clicks", file=sys.stderr)
else:
    for k in range(0, len(clicks), 2):
        print("resume_extra_ms", (clicks[k + 1] - clicks[k]) - (onsets[k + 1] - onsets[k]))
PY
}
# CPU of all threads on the title, 0.5 to 8.5 s after its first picture at T0.
title_cpu() {  # BIN AUDIO METRIC PID T0
  sleep_until $(($5 + 500000000))
  local c0 c1
  c0=$(ticks "$4")
  sleep_until $(($5 + 8500000000))
  c1=$(ticks "$4")
  echo "$1 $2 $3 $(awk "BEGIN{print ($c1 - $c0) / $(getconf CLK_TCK) / 8 * 100}")" >>"$results"
}

# Starts BIN in a copy of the game's folder; T0, the first picture, in $t0 (ns), its pid in $pid.
launch() {  # BIN AUDIO
  local dir=$work/run
  rm -rf "$dir" && cp -r "$work/game" "$dir"
  local start first
  start=$(now_ns)
  (cd "$dir" && exec "$1" >/dev/null 2>"$work/brin.err") &
  pid=$!
  first=$("$work/xprobe" first-picture brin "$start") || { echo "no picture from $1: $(cat "$work/brin.err")" >&2; kill $pid; return 1; }
  t0=$((start + ${first%.*} * 1000000))
  echo "$1 $2 startup_ms $first" >>"$results"
}

# The title with a key pressed that no screen before the first level reads.
run_title_key() {  # BIN AUDIO
  launch "$@"
  sleep_until $((t0 + 300000000))
  xdotool key a
  title_cpu "$1" "$2" title_key_cpu $pid "$t0"
  kill -TERM $pid
  wait $pid || true
}

run_one() {  # BIN AUDIO
  local bin=$1 mode=$2
  launch "$bin" "$mode"
  title_cpu "$bin" "$mode" title_cpu $pid "$t0"

  sleep_until $((t0 + 20000000000))
  threads $pid >"$work/a"
  sleep 10
  threads $pid >"$work/b"
  join "$work/a" "$work/b" | awk -v bin="$bin" -v mode="$mode" -v pid=$pid '
    { run += $6 - $3; n = $7 - $4; if ($1 == pid) main += n; else { other += n; names[$2] += n } }
    END {
      print bin, mode, "idle_cpu", run / 1e9 / 10 * 100
      print bin, mode, "wakeups_main", main / 10
      print bin, mode, "wakeups_other", other / 10
      for (t in names) if (names[t] > 0) print bin, mode, "wakeups_thread_" t, names[t] / 10
    }' >>"$results"

  "$work/xprobe" key-to-screen brin 15 | sed "s|^|$bin $mode key_ms.$s |" >>"$results"
  [ "$mode" = dummy ] || onsets "$bin" "$mode"
  kill -TERM $pid
  wait $pid || true
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
modes=()
[ "$audio" = pulse ] || modes+=(dummy)
[ "$audio" = dummy ] || modes+=(pulse)
for mode in "${modes[@]}"; do
  if [ "$mode" = pulse ]; then
    start_pulse
    export SDL_AUDIODRIVER=pulseaudio
  else
    export SDL_AUDIODRIVER=dummy
  fi
  for s in $(seq "$samples"); do
    for bin in "${bins[@]}"; do
      echo "[$mode, sample $s] $bin" >&2
      run_one "$bin" "$mode"
      run_title_key "$bin" "$mode"
    done
  done
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"

python3 - "$results" <<'PY'
import collections, statistics, sys
data = collections.defaultdict(list)
for line in open(sys.argv[1]):
    b, mode, metric, value = line.split()
    data[(b, mode, metric)].append(float(value))
def median(v): return statistics.median(v) if v else float('nan')
def p95(v):
    v = sorted(v)
    return v[min(len(v) - 1, int(round(0.95 * (len(v) - 1))))] if v else float('nan')
def keys_of(b, m):  # key to screen, by sample
    return {metric[len('key_ms.'):]: v for (bb, mm, metric), v in sorted(data.items())
            if bb == b and mm == m and metric.startswith('key_ms.')}
keys = sorted({(b, m) for b, m, _ in data}, key=lambda k: (k[1], k[0]))
print("| binary | audio | start-up ms | title CPU % | title CPU, a key pressed % | idle CPU % | wake-ups/s main / others | key to screen ms median / p95 (n) | onset after silence, ms more |")
print("|---|---|---:|---:|---:|---:|---:|---:|---:|")
for b, m in keys:
    g = lambda metric: data.get((b, m, metric), [])
    k = sum(keys_of(b, m).values(), [])
    print(f"| {b} | {m} | {median(g('startup_ms')):.0f} | {median(g('title_cpu')):.2f} | {median(g('title_key_cpu')):.2f} "
          f"| {median(g('idle_cpu')):.2f} | {median(g('wakeups_main')):.0f} / {median(g('wakeups_other')):.0f} "
          f"| {median(k):.1f} / {p95(k):.1f} ({len(k)}) | {median(g('resume_extra_ms')):.1f} ({len(g('resume_extra_ms'))}) |")
print()
print("each sample, in order (CPU %; key to screen ms, median / p95), and wake-ups/s of each other thread, medians:")
for b, m in keys:
    g = lambda metric: [round(x, 2) for x in data.get((b, m, metric), [])]
    threads = {metric[len('wakeups_thread_'):]: median(v) for (bb, mm, metric), v in data.items()
               if bb == b and mm == m and metric.startswith('wakeups_thread_')}
    by_sample = [f"{median(v):.1f} / {p95(v):.1f}" for v in keys_of(b, m).values()]
    print(f"  {b} {m}: idle {g('idle_cpu')}, title {g('title_cpu')}, title with a key {g('title_key_cpu')}, "
          f"start-up {g('startup_ms')}; key to screen {by_sample}; threads {threads}")
PY
