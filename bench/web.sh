#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The browser edition's figures (sizes and the largest functions, first frame, CPU idle in a
# level against a page drawing a countdown, countdown steps and keys to the canvas, the
# title's main thread with a key pressed): builds the page and brin-sim, then measures each
# OLD_SITE given (an older build's static folder; with its brin.js.symbols beside brin.wasm
# for its functions) and this one, in turn, in one run of ROUNDS rounds (3 by default).
#   web.sh [SECONDS] [OLD_SITE...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
shift || true
bash scripts/install-deps.sh test
bash scripts/web.sh --build >/dev/null
cmake --preset release >/dev/null
cmake --build build/release -j2 --target brin-sim >/dev/null
sites=()
n=0
for site in "$@"; do
  n=$((n + 1))
  label=old
  [ $# -gt 1 ] && label="old$n"
  sites+=("$label=$site")
done
# The build's own folder: build/web is the same less the symbol map.
node bench/web_bench.mjs build/release/brin-sim data "$seconds" "${ROUNDS:-3}" "${sites[@]}" new=build/web-build/site
echo "==== the title with a key pressed, each site in turn"
node bench/web_key_idle.mjs "${ROUNDS:-3}" "$@" build/web-build/site
