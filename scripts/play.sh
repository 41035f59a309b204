#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up a fresh Debian 12 machine, builds brin and plays it. The game runs in
# $XDG_DATA_HOME/brin (~/.local/share/brin), where its high scores are kept.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh play

cmake --preset play >/dev/null
cmake --build --preset play -j"$(nproc)" --target brin

BRIN_EXE="$PWD/build/play/brin" BRIN_DATA="$PWD/data" exec sh scripts/brin-launcher.sh
