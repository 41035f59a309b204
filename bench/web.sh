#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The browser edition's figures (sizes, first frame, CPU idle in a level against the
# browser's floor): builds the page and brin-sim, then measures. web.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh test
bash scripts/web.sh --build >/dev/null
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j2 --target brin-sim >/dev/null
node bench/web_bench.mjs build/web build/release/brin-sim data "${1:-20}"
