#!/usr/bin/env bash
# Installs with apt-get the Debian packages that brin needs and that are missing.
#   install-deps.sh play   what building and playing needs
#   install-deps.sh test   that, and what the tests need
set -euo pipefail

play=(cmake g++ make pkg-config libpng-dev libsdl2-dev libx11-dev zlib1g-dev libjpeg62-turbo-dev libimagequant-dev libfreetype-dev)
test=(console-setup-linux fonts-dejavu-core googletest libgtest-dev libbenchmark-dev clang libclang-rt-14-dev xvfb xdotool x11-apps imagemagick sox)

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
