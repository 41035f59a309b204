#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds brin and plays it.
set -euo pipefail
cd "$(dirname "$0")/.."
echo "brin is not playable yet: the library is being built first. Run scripts/test.sh to see its tests."
exit 1
