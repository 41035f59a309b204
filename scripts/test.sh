#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up a fresh Debian 12 machine, builds brin twice and runs every test:
# a release build with warnings as errors, and a test build under AddressSanitizer and
# UndefinedBehaviorSanitizer in which CTest runs the whole suite.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash scripts/install-deps.sh test

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DBRIN_WERROR=ON >/dev/null
cmake --build build/release -j"$jobs"

cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Debug -DBRIN_SANITIZE=ON -DBRIN_WERROR=ON >/dev/null
cmake --build build/test -j"$jobs"
ctest --test-dir build/test --output-on-failure -j"$jobs"
