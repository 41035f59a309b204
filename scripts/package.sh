#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Makes the Debian package brin_VERSION_amd64.deb from a release build with Debian's
# hardening flags, and checks it with lintian.
#   scripts/package.sh [OUT_DIR [BUILD_DIR]]   (default: build/package for both)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(readlink -f "${1:-$root/build/package}")
build=$(readlink -f "${2:-$root/build/package}")

# Debian's hardening flags; CMake reads no CPPFLAGS, so they join the compilers' flags.
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
# Debian keeps games in /usr/games, beside their manual pages in section 6.
cmake -S "$root" --preset package -B "$build" \
  -DCMAKE_C_FLAGS="$CPPFLAGS $CFLAGS" -DCMAKE_CXX_FLAGS="$CPPFLAGS $CXXFLAGS" -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" >/dev/null
cmake --build "$build" -j"$(nproc)"
rm -rf "$out/cpack"
mkdir -p "$out"
(cd "$build" && cpack -G DEB -B "$out/cpack" >/dev/null)
deb=$(find "$out/cpack" -maxdepth 1 -name 'brin_*.deb')
[ -n "$deb" ] || { echo "package.sh: cpack made no package" >&2; exit 1; }
mv "$deb" "$out/"
rm -rf "$out/cpack"
deb=$out/${deb##*/}
echo "$deb"
# Errors fail the command; warnings and notes are shown.
lintian --info --display-info --tag-display-limit 0 "$deb"
