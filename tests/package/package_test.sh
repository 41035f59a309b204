#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Makes the Debian packages with scripts/package.sh and checks them: lintian finds no error,
# the files are where players' systems look for them, and the menu entry, the software
# centres' description and the manual pages pass their own checkers; the hall's package,
# when the hall's libraries are here, holds the hall, its verifier, its unit and the
# browser edition, and the game's package needs none of the hall's libraries.
#   package_test.sh SOURCE_DIR BUILD_DIR   (BUILD_DIR is kept between runs: a rebuild is quick)
set -euo pipefail
source_dir=$1
build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}
for tool in cpack dpkg-deb dpkg-shlibdeps lintian desktop-file-validate appstreamcli man; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh test)"
done

bash "$source_dir/scripts/package.sh" "$work" "$build" >"$work/made.txt" 2>&1 || {
  tail -30 "$work/made.txt"
  fail "scripts/package.sh failed"
}
grep -E '^[EW]: ' "$work/made.txt" && fail "lintian reports errors or warnings"
deb=$(find "$work" -maxdepth 1 -name 'brin_*_amd64.deb')
[ "$(basename "$deb")" = "brin_$(sed -n 's/^brin (\(.*\)).*/\1/p;q' "$source_dir/packaging/changelog")_amd64.deb" ] ||
  fail "the package is called $(basename "$deb")"

# ---- contents ----

dpkg-deb -c "$deb" | awk '{ print $1, $6 }' | sed 's|^\(.\).* \./|\1 /|' >"$work/contents.txt"
while read -r kind path; do
  grep -qxF -e "$kind $path" "$work/contents.txt" || fail "the package lacks $kind $path"
done <<'WANTED'
- /usr/games/brin
- /usr/games/brin-picture
- /usr/games/brin-preview
- /usr/libexec/brin/brin
- /usr/share/brin/1.pcx
- /usr/share/brin/2.pcx
- /usr/share/brin/3.pcx
- /usr/share/brin/4.pcx
- /usr/share/brin/brin.pcx
- /usr/share/brin/topaz.fon
- /usr/share/brin/max.pun
- /usr/share/applications/brin.desktop
- /usr/share/metainfo/io.github.brin_game.brin.metainfo.xml
- /usr/share/icons/hicolor/48x48/apps/brin.png
- /usr/share/icons/hicolor/64x64/apps/brin.png
- /usr/share/icons/hicolor/128x128/apps/brin.png
- /usr/share/icons/hicolor/256x256/apps/brin.png
- /usr/share/icons/hicolor/scalable/apps/brin.svg
- /usr/share/man/man6/brin.6.gz
- /usr/share/man/man1/brin-picture.1.gz
- /usr/share/man/man1/brin-preview.1.gz
- /usr/share/doc/brin/copyright
- /usr/share/doc/brin/changelog.gz
WANTED
files=$(grep -c -e '^- ' "$work/contents.txt")
[ "$files" -eq 23 ] || fail "the package holds $files files, not 23: $(grep -e '^- ' "$work/contents.txt")"

depends=$(dpkg-deb -f "$deb" Depends)
for library in libsdl2 libpng16 libjpeg62-turbo libimagequant0 libc6; do
  [[ $depends == *"$library"* ]] || fail "Depends lacks $library: $depends"
done
[ "$(dpkg-deb -f "$deb" Section)" = games ] || fail "not in the games section"
for library in libpqxx libsqlite3 libcpp-httplib; do
  [[ $depends != *"$library"* ]] && continue
  fail "the game's package depends on the hall's $library: $depends"
done

# ---- what is inside, checked by its own tools ----

dpkg-deb -x "$deb" "$work/root"
root=$work/root
desktop-file-validate "$root/usr/share/applications/brin.desktop" || fail "desktop-file-validate"
grep -qx 'Exec=/usr/games/brin' "$root/usr/share/applications/brin.desktop" ||
  fail "the menu entry does not start /usr/games/brin: $(grep Exec "$root/usr/share/applications/brin.desktop")"
appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/"*.xml >"$work/appstream.txt" 2>&1 ||
  fail "appstreamcli validate: $(cat "$work/appstream.txt")"
# The manual pages of a package unpacked at $1.
check_pages() {
  for page in "$1"/usr/share/man/man*/*.gz; do
    text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>"$work/man.err")
    [ ! -s "$work/man.err" ] || fail "man -l ${page##*/}: $(cat "$work/man.err")"
    [[ $text == *NAME* && $text == *SYNOPSIS* ]] || fail "man -l ${page##*/} shows no page"
  done
}
check_pages "$root"
for size in 48 64 128 256; do
  [ "$(identify -format %wx%h "$root/usr/share/icons/hicolor/${size}x$size/apps/brin.png")" = "${size}x$size" ] ||
    fail "the ${size}x$size icon has another size"
done
# The programs run from where they are installed: the version, without a display.
version=$(env -u DISPLAY "$root/usr/libexec/brin/brin" --version)
[ "$version" = "brin $(dpkg-deb -f "$deb" Version)" ] || fail "brin --version says: $version"
# ---- the hall's package ----

hall_deb=$(find "$work" -maxdepth 1 -name 'brin-hall_*_amd64.deb')
if pkg-config --exists cpp-httplib sqlite3 libpqxx libcrypto; then
  [ -n "$hall_deb" ] || fail "the hall was built but no brin-hall package was made"
  dpkg-deb -c "$hall_deb" | awk '{ print $1, $6 }' | sed 's|^\(.\).* \./|\1 /|' >"$work/hall.txt"
  wanted="/usr/bin/brin-hall /usr/libexec/brin-hall/brin-sim /lib/systemd/system/brin-hall.service
    /usr/share/doc/brin-hall/copyright /usr/share/doc/brin-hall/changelog.gz /usr/share/doc/brin-hall/hall.md
    /usr/share/man/man1/brin-hall.1.gz"
  command -v emcmake >/dev/null && [ -d "$source_dir/platform/web/node_modules/crc-32" ] && wanted+=" /usr/share/brin-hall/site/index.html /usr/share/brin-hall/site/brin.wasm"
  for path in $wanted; do
    grep -qxF -e "- $path" "$work/hall.txt" || fail "the hall's package lacks $path"
  done
  hall_depends=$(dpkg-deb -f "$hall_deb" Depends)
  for library in "brin (= $(dpkg-deb -f "$deb" Version))" libpqxx libsqlite3 libcpp-httplib; do
    [[ $hall_depends == *"$library"* ]] || fail "the hall's Depends lacks $library: $hall_depends"
  done
  dpkg-deb -x "$hall_deb" "$work/hall"
  check_pages "$work/hall"
  grep -qx 'ExecStart=/usr/bin/brin-hall .*' "$work/hall/lib/systemd/system/brin-hall.service" ||
    fail "the unit does not start /usr/bin/brin-hall"
  "$work/hall/usr/bin/brin-hall" --help | grep -q -- '--listen' || fail "brin-hall --help says no usage"
fi
echo "PASS: $(basename "$deb")${hall_deb:+ and $(basename "$hall_deb")}, $files files, lintian: no errors or warnings, $(grep -c '^I: ' "$work/made.txt" || true) notes"
