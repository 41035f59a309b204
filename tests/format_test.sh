#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The folders kept in clang-format's layout are in it: format_test.sh SOURCE_DIR names every
# file that `clang-format -i` would change. lib/ and game/ keep their hand layout.
set -euo pipefail
cd "$1"
command -v clang-format >/dev/null || { echo "clang-format is missing: bash scripts/install-deps.sh test" >&2; exit 77; }
folders=()
for f in platform tools tests bench hall; do [ -d "$f" ] && folders+=("$f"); done
mapfile -d '' files < <(find "${folders[@]}" -name node_modules -prune -o -type f \
  \( -name '*.c' -o -name '*.cpp' -o -name '*.h' \) -print0 | sort -z)
clang-format --dry-run --Werror "${files[@]}"
echo "${#files[@]} files in clang-format's layout"
