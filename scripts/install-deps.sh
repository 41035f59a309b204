#!/usr/bin/env bash
# Installs with apt-get the Debian packages that brin needs and that are missing.
#   install-deps.sh play   what building and playing needs
#   install-deps.sh test   that, the tools' libraries, and what the tests need
set -euo pipefail

play=(cmake g++ make pkg-config libpng-dev libsdl2-dev libx11-dev)
test=(libxtst-dev zlib1g-dev libjpeg62-turbo-dev libimagequant-dev libfreetype-dev console-setup-linux fonts-dejavu-core googletest libgtest-dev libbenchmark-dev clang libclang-rt-14-dev xvfb xdotool x11-apps imagemagick sox
      openbox dpkg-dev lintian appstream desktop-file-utils man-db)

wanted=("${play[@]}")
[ "${1:-play}" = test ] && wanted+=("${test[@]}")

missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
