#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Makes the Debian packages brin_VERSION_amd64.deb and, when the hall's libraries are
# there, brin-hall_VERSION_amd64.deb, from a release build with Debian's hardening flags,
# and checks them with lintian. The hall's package holds the browser edition it serves when
# Emscripten is here to build it (scripts/install-deps.sh test).
#   scripts/package.sh [OUT_DIR [BUILD_DIR]]   (default: build/package for both)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(readlink -f "${1:-$root/build/package}")
build=$(readlink -f "${2:-$root/build/package}")

site=()
if command -v emcmake >/dev/null && [ -d "$root/platform/web/node_modules/crc-32" ]; then
  emcmake cmake -S "$root" -B "$build/web" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build/web" -j"$(nproc)"
  site=(-DBRIN_HALL_SITE_BUILT="$build/web/site")
fi
# Debian's hardening flags; CMake reads no CPPFLAGS, so they join the compilers' flags.
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
# Debian keeps games in /usr/games, beside their manual pages in section 6.
cmake -S "$root" --preset package -B "$build" \
  -DCMAKE_C_FLAGS="$CPPFLAGS $CFLAGS" -DCMAKE_CXX_FLAGS="$CPPFLAGS $CXXFLAGS" -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" \
  "${site[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
rm -rf "$out/cpack"
mkdir -p "$out"
(cd "$build" && cpack -G DEB -B "$out/cpack" >/dev/null)
[ -n "$(find "$out/cpack" -maxdepth 1 -name 'brin_*.deb')" ] || { echo "package.sh: cpack made no package" >&2; exit 1; }
debs=()
for deb in "$out"/cpack/*.deb; do
  mv "$deb" "$out/"
  debs+=("$out/${deb##*/}")
  echo "$out/${deb##*/}"
done
rm -rf "$out/cpack"
# Errors fail the command; warnings and notes are shown.
lintian --info --display-info --tag-display-limit 0 "${debs[@]}"
