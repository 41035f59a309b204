#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The browser edition's figures (sizes, first frame, CPU idle in a level against the
# browser's floor, countdown steps and keys to the canvas): builds the page and brin-sim,
# then measures it, after each OLD_SITE given (an older build's static folder), in one run.
#   web.sh [SECONDS] [OLD_SITE...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
shift || true
bash scripts/install-deps.sh test
bash scripts/web.sh --build >/dev/null
cmake --preset release >/dev/null
cmake --build build/release -j2 --target brin-sim >/dev/null
for site in "$@" build/web; do
  echo "==== $site"
  node bench/web_bench.mjs "$site" build/release/brin-sim data "$seconds"
done
