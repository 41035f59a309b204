#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Writes the hostile recordings of the fuzz corpora: hostile_recordings.py CORPUS_FOLDER.
# Into CORPUS_FOLDER/recording, whole files; into CORPUS_FOLDER/recording_contents, their
# contents as the contents target takes them (the format's number, then the contents); into
# CORPUS_FOLDER/recording_bombs, files that unpack to far more than a recording holds, kept
# apart so that fuzzing does not spend its time on them.
import os
import sys
import zlib

MAGIC = b"BRINREC\x1a"


def varint(v):
    out = bytearray()
    while v >= 0x80:
        out.append(v & 0x7F | 0x80)
        v >>= 7
    out.append(v)
    return bytes(out)


def zigzag(v):
    return varint(((v << 1) ^ (v >> 63)) & (2**64 - 1))


def header(fmt, files=(), table=None):
    out = bytes([3]) + b"1.0" + (10**15).to_bytes(8, "little")
    if fmt < 3:
        out += len(files).to_bytes(2, "little")
        for name in files:
            out += bytes([len(name)]) + name + bytes([1]) + bytes(8)
        out += bytes([table is not None]) + len(table or b"").to_bytes(2, "little") + (table or b"")
    return out


def opened():
    return bytes([8, 1, 9, 1])


def packed(fmt, contents, declared=None):
    if fmt < 3:
        size = len(contents) if declared is None else declared
        return MAGIC + bytes([fmt, 0]) + size.to_bytes(4, "little") + zlib.compress(contents, 9)
    stream = zlib.compress(contents, 9)
    block = len(stream).to_bytes(4, "little") + zlib.crc32(stream).to_bytes(4, "little") + stream
    return MAGIC + bytes([fmt, 0]) + bytes(4) + block


def data_file(name):
    return bytes([14]) + varint(len(name)) + name + bytes([1]) + bytes(8)


HOSTILE = {
    # The mouse's x at the least 64-bit number, whose size can't be taken by negation.
    "mouse_int64_min": opened() + bytes([1]) + varint(100) + bytes([7]) + zigzag(-(2**63)) + zigzag(0) + bytes([0, 12]),
    # Repeats whose time overflows a 64-bit count, cut before its end.
    "repeat_overflow": opened() + bytes([1]) + varint(2**45) + bytes([5]) + varint(2**18),
    # 2^30 polls in which no time passes.
    "zero_time": opened() + bytes([1, 0, 5]) + varint(2**30 - 2) + bytes([12]),
    # The first poll a year and more on: as far as a recording goes, valid.
    "first_poll_a_year": opened() + bytes([1]) + varint(2**45) + bytes([12]),
}


def main():
    folder = sys.argv[1]
    packed_dir = os.path.join(folder, "recording")
    contents_dir = os.path.join(folder, "recording_contents")
    bombs_dir = os.path.join(folder, "recording_bombs")
    for d in (packed_dir, contents_dir, bombs_dir):
        os.makedirs(d, exist_ok=True)

    def keep(name, fmt, contents, file=None):
        open(os.path.join(packed_dir, name), "wb").write(file or packed(fmt, contents))
        open(os.path.join(contents_dir, name), "wb").write(bytes([fmt]) + contents)

    for name, stream in HOSTILE.items():
        keep(name + "_2", 2, header(2) + stream)
        keep(name + "_3", 3, header(3) + stream)
    # The table as a data file, which a replay must never take from the player's folder.
    keep("table_as_data_2", 2, header(2, [b"max.pun", b"topaz.fon"]) + opened() + bytes([12]))
    keep("table_as_data_3", 3, header(3) + data_file(b"max.pun") + opened() + bytes([12]))
    # Bombs of valid records: contents far past the most a recording holds, packed small.
    keys = bytes([6, 30]) * (9 << 20)
    bomb = header(2) + opened() + bytes([1]) + varint(100) + keys + bytes([12])
    open(os.path.join(bombs_dir, "bomb_2"), "wb").write(packed(2, bomb, declared=128 << 20))
    open(os.path.join(bombs_dir, "bomb_3"), "wb").write(packed(3, header(3) + bomb[len(header(2)):]))


main()
