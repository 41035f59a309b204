#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds brin for web browsers and serves it for local play.
#   web.sh           build build/web/ and serve it at http://127.0.0.1:8256/ until Ctrl+C
#   web.sh --build   only build build/web/: a static folder any web server can host (it
#                    keeps itself for play offline: no server setting is needed)
# The browser keeps the high scores per address, so the port stays the same from one
# play to the next; BRIN_WEB_PORT picks another.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh web

emcmake cmake --preset web >/dev/null
cmake --build --preset web -j"$(nproc)"
rm -rf build/web
cmake --install build/web-build --prefix build/web >/dev/null
[ "${1:-}" = --build ] && exit 0

port=${BRIN_WEB_PORT:-8256}
echo "brin: open http://127.0.0.1:$port/ in a browser (Ctrl+C here ends it)"
exec python3 -m http.server "$port" --bind 127.0.0.1 --directory build/web
