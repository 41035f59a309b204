#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs with apt-get the Debian packages that brin needs and that are missing.
#   install-deps.sh play   what building and playing needs
#   install-deps.sh web    what building the browser edition needs (crc-32 from npm too)
#   install-deps.sh hall   what building the hall of fame, brin-hall, needs besides play's
#   install-deps.sh test   that, the tools' and the hall's libraries, and what the tests need
#                          (PostgreSQL's server; puppeteer-core from npm too)
#   install-deps.sh bench  what building and playing needs, and what the benchmarks and
#                          bench/window.sh need (a virtual display, a sound server, XTest)
set -euo pipefail

play=(cmake g++ make pkg-config libpng-dev libsdl2-dev libx11-dev)
web=(cmake make emscripten python3)
hall=(libcpp-httplib-dev nlohmann-json3-dev libsqlite3-dev libpqxx-dev libssl-dev)
test=(postgresql python3 clang-format libxtst-dev zlib1g-dev libjpeg62-turbo-dev libimagequant-dev libfreetype-dev console-setup-linux fonts-dejavu-core googletest libgtest-dev libbenchmark-dev clang libclang-rt-14-dev xvfb xdotool x11-apps imagemagick sox
      openbox stress-ng dpkg-dev lintian appstream desktop-file-utils man-db
      emscripten chromium firefox-esr)
bench=(libbenchmark-dev xvfb xdotool pulseaudio pulseaudio-utils libx11-dev libxtst-dev gcc python3)

case "${1:-play}" in
  web) wanted=("${web[@]}") ;;
  hall) wanted=("${play[@]}" "${hall[@]}") ;;
  test) wanted=("${play[@]}" "${hall[@]}" "${test[@]}") ;;
  bench) wanted=("${play[@]}" "${bench[@]}") ;;
  *) wanted=("${play[@]}") ;;
esac
# npm comes with some builds of node itself; Debian's own is a package of its own.
case "${1:-play}" in web | test) command -v npm >/dev/null || wanted+=(npm) ;; esac

missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

# The page computes its recordings' CRC-32 with the npm package crc-32, at the version the
# lockfile pins; the web build ships its crc32.js.
web_page="$(dirname "$0")/../platform/web"
if { [ "${1:-play}" = web ] || [ "${1:-play}" = test ]; } && [ ! "$web_page/node_modules/.package-lock.json" -nt "$web_page/package-lock.json" ]; then
  npm ci --prefix "$web_page" --no-audit --no-fund --loglevel=error
fi

# The browser tests drive Chromium and Firefox with puppeteer-core, at the version the lockfile pins;
# it never downloads a browser of its own.
web_tests="$(dirname "$0")/../tests/web"
if [ "${1:-play}" = test ] && [ ! "$web_tests/node_modules/.package-lock.json" -nt "$web_tests/package-lock.json" ]; then
  PUPPETEER_SKIP_DOWNLOAD=1 npm ci --prefix "$web_tests" --no-audit --no-fund --loglevel=error
fi
