#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up a fresh Debian 12 machine, builds brin twice and runs every test:
# a release build with warnings as errors, and a test build under AddressSanitizer and
# UndefinedBehaviorSanitizer in which CTest runs the whole suite.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash scripts/install-deps.sh test

cmake --preset release >/dev/null
cmake --build --preset release -j"$jobs"

cmake --preset test >/dev/null
cmake --build --preset test -j"$jobs"
ctest --preset test -j"$jobs"
