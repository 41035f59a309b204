#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Makes every file of data/ with the programs in tools/data/. The same sources always give the
# same bytes.
#   tools/data/make-data.sh                  build the tools (build/release), remake data/
#   tools/data/make-data.sh --tools DIR [OUT] with tools already built in DIR, into OUT (data/)
#   tools/data/make-data.sh --check [--tools DIR]
#                                            make everything twice and compare the two runs
#                                            with each other and with data/
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)

# The sources, from Debian packages (see data/README.md for their licences).
console_font=/usr/share/consolefonts/Uni2-VGA8.psf.gz                 # console-setup-linux
lettering=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf         # fonts-dejavu-core
# The quantiser sums in parallel threads, in an order that depends on their number.
export OMP_NUM_THREADS=1

files=(topaz.fon 1.pcx 2.pcx 3.pcx 4.pcx brin.pcx)

make_all() {  # TOOLS_DIR OUT_DIR
    "$1/make-font" "$console_font" "$2/topaz.fon"
    "$1/make-levels" "$2"
    "$1/make-title" "$lettering" "$2/brin.pcx"
}

build_tools() {
    cmake -S "$root" --preset release >/dev/null
    cmake --build "$root/build/release" -j"$(nproc)" --target make-font make-levels make-title >/dev/null
    echo "$root/build/release/tools"
}

check() {  # TOOLS_DIR
    local first second differ=0
    first=$(mktemp -d)
    second=$(mktemp -d)
    trap 'rm -rf "$first" "$second"' RETURN
    make_all "$1" "$first"
    make_all "$1" "$second"
    for f in "${files[@]}"; do
        if ! cmp "$first/$f" "$second/$f"; then
            echo "$f: two runs differ"
            differ=1
        elif ! cmp "$first/$f" "$root/data/$f"; then
            echo "$f: differs from data/$f"
            differ=1
        else
            echo "$f: the same in both runs and in data/"
        fi
    done
    return $differ
}

case "${1:-}" in
--check)
    if [ "${2:-}" = --tools ]; then tools=$3; else tools=$(build_tools); fi
    check "$tools"
    ;;
--tools)
    make_all "$2" "${3:-$root/data}"
    ;;
"")
    make_all "$(build_tools)" "$root/data"
    ;;
*)
    sed -n '4,8p' "$0" >&2
    exit 2
    ;;
esac
