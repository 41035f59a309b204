#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# What huge and hostile pictures cost brin-picture binaries, side by side in one run:
# wall time and peak resident memory (/usr/bin/time), and what each said.
#   bench/pictures.sh BRIN_PICTURE...
# The pictures are made here with python3's zlib, in a temporary folder:
#   claim.png     69 bytes: an RGB PNG that says 20000x20000, its data cut after 12 bytes
#   bomb.png      389 KB: 20000x20000 grey, all black, compressed as far as zlib goes
#   bomb81m.png   79 KB: the same at 9000x9000, below the pixel cap
#   claim.jpg     745 bytes: tests/fixtures/pictures/cmyk.jpg saying 20000x20000
#   claim81m.jpg  the same saying 9000x9000
#   photo48m.png  8000x6000, a real picture's worth of data (gradients and squares)
#   long98m.png   65500x1500 black, the longest panorama taken: the most that is kept
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ $# -gt 0 ] || { echo "usage: bench/pictures.sh BRIN_PICTURE..." >&2; exit 2; }
bins=()
for b in "$@"; do bins+=("$(readlink -f "$b")"); done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work" "$here/../tests/fixtures/pictures/cmyk.jpg" <<'EOF'
import struct, sys, zlib
work, jpeg = sys.argv[1], sys.argv[2]

def chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))

def png(width, height, colour, idat):
    header = struct.pack('>IIBBBBB', width, height, 8, colour, 0, 0, 0)
    return b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) + chunk(b'IDAT', idat) + chunk(b'IEND', b'')

def black(width, height):
    z = zlib.compressobj(9)
    row = bytes(width + 1)
    return b''.join(z.compress(row) for _ in range(height)) + z.flush()

def photo(width, height):
    z = zlib.compressobj(1)
    out = []
    for y in range(height):
        g = y * 255 // height
        row = bytearray(b'\0')
        for x in range(0, width, 40):
            row += bytes((x * 255 // width, g, 220 if (x // 40 + y // 40) % 2 else 30)) * 40
        out.append(z.compress(bytes(row)))
    return b''.join(out) + z.flush()

def claiming(path, width, height):
    b = bytearray(open(path, 'rb').read())
    i = 2
    while b[i + 1] not in (0xC0, 0xC1, 0xC2):
        i += 2 + (b[i + 2] << 8 | b[i + 3])
    b[i + 5:i + 9] = struct.pack('>HH', height, width)
    return bytes(b)

files = {
    'claim.png': png(20000, 20000, 2, zlib.compress(bytes(64))[:12]),
    'bomb.png': png(20000, 20000, 0, black(20000, 20000)),
    'bomb81m.png': png(9000, 9000, 0, black(9000, 9000)),
    'claim.jpg': claiming(jpeg, 20000, 20000),
    'claim81m.jpg': claiming(jpeg, 9000, 9000),
    'photo48m.png': png(8000, 6000, 2, photo(8000, 6000)),
    'long98m.png': png(65500, 1500, 0, black(65500, 1500)),
}
for name, data in files.items():
    open(f'{work}/{name}', 'wb').write(data)
EOF

for i in "${!bins[@]}"; do echo "[$((i + 1))] ${bins[$i]}"; done
printf '%-13s %9s' picture bytes
for i in "${!bins[@]}"; do printf ' | %-36s' "[$((i + 1))] time, peak memory, verdict"; done
printf '\n'
for name in claim.png bomb.png bomb81m.png claim.jpg claim81m.jpg photo48m.png long98m.png; do
  printf '%-13s %9s' "$name" "$(stat -c %s "$work/$name")"
  for b in "${bins[@]}"; do
    /usr/bin/time -f '%e %M' -o "$work/time" "$b" "$work/$name" "$work/out.pcx" >"$work/said" 2>&1 || true
    read -r seconds kib < <(tail -n 1 "$work/time")
    verdict=$(grep -m1 -o -e 'is damaged' -e 'is too large' -e 'not supported' "$work/said" || echo written)
    printf ' | %6.2f s %7.1f MB  %-13s' "$seconds" "$(echo "$kib / 1024" | bc -l)" "$verdict"
  done
  printf '\n'
done
