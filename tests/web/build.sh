#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the browser edition for the tests: build.sh SOURCE BUILD_DIR (the page in BUILD_DIR/site).
set -euo pipefail
src=$1
out=$2
if ! command -v emcmake >/dev/null || [ ! -d "$src/tests/web/node_modules/puppeteer-core" ] ||
  [ ! -d "$src/platform/web/node_modules/crc-32" ]; then
  echo "the browser tests need Emscripten, Chromium, puppeteer-core and crc-32: bash scripts/install-deps.sh test" >&2
  exit 1
fi
emcmake cmake -S "$src" --preset web -B "$out" -DBRIN_WERROR=ON >/dev/null
cmake --build "$out" -j2
