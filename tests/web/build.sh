#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the browser edition for the tests: build.sh SOURCE BUILD_DIR (the page in BUILD_DIR/site).
set -euo pipefail
src=$1
out=$2
if ! command -v emcmake >/dev/null || [ ! -d "$src/tests/web/node_modules/puppeteer-core" ]; then
  echo "the browser tests need Emscripten, Chromium and puppeteer-core: bash scripts/install-deps.sh test" >&2
  exit 1
fi
emcmake cmake -S "$src" -B "$out" -DCMAKE_BUILD_TYPE=Release -DBRIN_WERROR=ON >/dev/null
cmake --build "$out" -j2
