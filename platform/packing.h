// SPDX-License-Identifier: MIT
// What a recording takes from a compression library: CRC-32 digests and the packing of its
// contents. packing_zlib.cpp has them from zlib, for the window and the simulator;
// web/packing.cpp from the page, which packs and unpacks with the browser's deflate streams.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform::recording {

// zlib's crc32: `crc` (0 to begin) continued over the bytes. The one CRC-32 every digest is
// made of: the data files', and the frames' (machine::frame_crc).
std::uint32_t crc32_of(std::uint32_t crc, const unsigned char* bytes, std::size_t size);

// Packs the contents as they come, as one zlib stream in blocks: pack_begin, then
// pack_block for each part of the contents, appending to `file` a block from which all the
// contents so far unpack (`last`: and which ends the stream). False when it could not. The
// browser's page packs the whole at the end instead: there the parts are appended as they are.
void pack_begin();
bool pack_block(const std::vector<std::uint8_t>& part, bool last, std::vector<std::uint8_t>& file);

// Unpacks the packed part of a file as its bytes come: unpack_begin with the file's format,
// the most its contents may hold (before format 3: exactly what they hold) and where in the
// file the packed part begins; unpack_more with each piece of the file from there on (false:
// the rest need not be read); then unpack_end for the contents. `error` says where the
// packed part is damaged ("is damaged at byte N", N in the whole file: in format 3 where the
// damaged block begins); a file cut short leaves `cut_short` set and the contents as far as
// they came. The browser's page has unpacked the file before the game started: there only
// unpack_end counts.
struct Unpacked {
    std::vector<std::uint8_t> contents;
    std::string error;
    bool cut_short = false;
};
void unpack_begin(std::uint16_t format, std::size_t most, std::size_t from);
bool unpack_more(const std::uint8_t* bytes, std::size_t size);
Unpacked unpack_end();

}  // namespace platform::recording
